#pragma once

#include "service/ServiceState.h"

// The worker thread's entry: runs PollOnce until stopRequested is raised.
void WorkerThreadProc(ServiceState& state);

// One pass: the announcement at most once a second, the sessions whose
// requests the media threads have handled, a wait of at most 10 ms for
// sockets that are ready, the next piece of each reply that is due, one
// request from each ready headset handed to a media thread, then new
// connections.
void PollOnce(ServiceState& state);
