#pragma once

#include "service/ServiceState.h"

// Watches the listening sockets for newcomers in the next wait, unless a
// shortage of descriptors has paused them.
void WatchListeners(ServiceState& state);

// Accepts one connection on each listener the wait found ready, with
// keep-alive, large socket buffers and no Nagle delay. At the session cap, or
// when accept finds no descriptor, the connection silent longest with no
// title open makes room for the newcomer.
void AcceptReadyConnections(ServiceState& state);
