#pragma once

#include <vector>

#include "service/ServiceState.h"
#include "service/StartReport.h"

// The steps of the service start that open the network endpoints and write
// the discovery datagram. Each returns false when a socket could not even be
// created, which ends the start, and says so in the report's socketError.

// One listening TCP socket per address of `addresses` on servicePort. Every address
// goes to localAddresses, whether or not a socket could be bound to it, and
// to the report's addresses with what its listener did.
bool OpenListenSockets(ServiceState& state, const std::vector<platform::Ipv4Address>& addresses,
                       StartReport& report);

// One broadcast UDP socket per address of `addresses`, bound to discoveryLocalPort;
// each bound address goes to discoveryAddresses beside its socket. The
// report tells for each address whether its socket opened.
bool OpenDiscoverySockets(ServiceState& state, const std::vector<platform::Ipv4Address>& addresses,
                          StartReport& report);

// Rebuilds `announcement` and each discovery socket's datagram from
// localAddresses and the catalogue size.
void BuildAnnouncement(ServiceState& state);
