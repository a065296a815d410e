#pragma once

#include <cstdint>

#include "service/ServiceState.h"

// A connection that sends no request within this long of being accepted is
// not a headset that wants anything (a port scanner, a leaked socket): it
// is closed. One that has asked is kept however long it stays silent, since
// a headset may sit on its list of titles for minutes.
constexpr uint32_t kFirstRequestWaitMs = 60000;

// Releases the connections that sent no request within kFirstRequestWaitMs.
void ReleaseSilentSessions(ServiceState& state);

// The connection silent longest, counted from its last request or from its
// accept, among those with no title open, no request in hand and no reply
// on its way; none when there is no such connection.
ClientSession* LongestSilentWithoutTitle(const ServiceState& state);
