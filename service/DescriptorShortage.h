#pragma once

#include <cstddef>
#include <cstdint>

struct ServiceState;

// Running out of descriptors (or of the kernel's memory for connections)
// while connections keep coming. The listeners stay readable while accept
// fails, so the loop must not simply try again: it closes the connection
// silent longest with no title open, as web servers drop their idle
// keep-alive connections, and when there is none, stops watching the
// listeners until a connection goes. The operator hears of each shortage
// once, when it starts and when it is over.
struct DescriptorShortage {
    bool ongoing = false;
    // The listeners are not watched: nothing could be closed for a newcomer.
    bool listenersPaused = false;
    uint32_t pausedAt = 0;  // TimeGetTime
    uint64_t closedForRoom = 0;
    // That every connection had a title open was told in this shortage.
    bool toldNothingToClose = false;
};

// The most connections one loop holds under a descriptor limit: an eighth of
// the limit, at least 16, stays for the titles the headsets open, the files a
// catalogue or a log needs and what the libraries open.
size_t SessionCapFor(size_t descriptorLimit);

// The limit is reached or accept failed with `error`: closes the connection
// silent longest with no title open and returns true, or pauses the
// listeners and returns false when there is none.
bool MakeRoomForConnection(ServiceState& state, int error);

// A connection was accepted without making room for it: any shortage is over.
void EndDescriptorShortage(ServiceState& state);

// Whether the listeners are left out of this pass's wait. A pause ends when a
// connection is released, or after a second, since titles closed elsewhere
// free descriptors too.
bool ListenersPaused(ServiceState& state);
