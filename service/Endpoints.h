#pragma once

#include "service/ServiceState.h"

// The steps of the service start that open the network endpoints and write
// the discovery datagram. Each returns false when a socket could not even be
// created, which ends the start.

// One listening TCP socket per local address on servicePort. Every address
// goes to localAddresses, whether or not a socket could be bound to it.
bool OpenListenSockets(ServiceState& state);

// One broadcast UDP socket per local address, bound to discoveryLocalPort;
// each bound address goes to discoveryAddresses beside its socket.
bool OpenDiscoverySockets(ServiceState& state);

// Rebuilds `announcement` and each discovery socket's datagram from
// localAddresses and the catalogue size.
void BuildAnnouncement(ServiceState& state);
