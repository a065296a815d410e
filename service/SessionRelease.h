#pragma once

#include <vector>

#include "service/OperatorEvents.h"
#include "service/ServiceState.h"

struct SessionToRelease {
    ClientSession* session;
    ReleaseReason reason;
};

// Lets the sessions go, each told to the operator with its reason: no longer
// watched, out of the session list, and closed: at once when they have no
// title open, else on a media thread, since closing the last reader of a
// file waits for the file's loader, which may be waiting for a disk. A connection that goes frees a
// descriptor, so listeners paused for want of one are watched again.
void ReleaseSessions(ServiceState& state, const std::vector<SessionToRelease>& released);
