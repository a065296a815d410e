#pragma once

#include <cstdint>
#include <string>

class HeadsetTally;

// What one connection has done, for the operator's lines about it.
struct SessionActivity {
    // The service's tally of headsets, which this connection's events keep;
    // none for a session that no loop accepted.
    HeadsetTally* tally = nullptr;
    // "address:port" of the headset, set when the connection was accepted.
    std::string peer;
    // Bytes of replies the socket took, framing included.
    uint64_t bytesSent = 0;
    uint64_t requestsServed = 0;
    // Packaged fetches since the last summary line about them.
    uint32_t fetchesSinceSummary = 0;
    uint64_t fetchedBytesSinceSummary = 0;
    uint32_t lastFetchSummaryMs = 0;
};
