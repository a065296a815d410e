#pragma once

#include "service/ServiceState.h"

// Sends the discovery datagram from every discovery socket when more than a
// second has passed since the last time.
void AnnounceWhenDue(ServiceState& state);
