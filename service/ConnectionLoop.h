#pragma once

#include "service/ServiceState.h"

// The worker thread's entry: runs PollOnce until stopRequested is raised.
void WorkerThreadProc(ServiceState& state);

// One pass: the announcement at most once a second; the sessions whose
// requests the media threads have handled; the connections that stalled or
// never asked anything let go; the library read again offered; a wait of at
// most 10 ms on every connection and listener at once; the next piece of each
// reply that is due and one request from each ready headset handed to a
// media thread; then new connections.
void PollOnce(ServiceState& state);
