#pragma once

#include "service/ServiceState.h"

// The worker thread's entry: runs PollOnce until stopRequested is raised.
void WorkerThreadProc(ServiceState& state);

// One pass: the announcement at most once a second, a 10 ms wait for
// readable sockets, one request from each ready headset, then new connections.
void PollOnce(ServiceState& state);
