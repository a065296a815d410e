#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/bsMemRead.h"
#include "catalogue/Catalogue.h"
#include "service/ClientSession.h"

// Reads the request code and hands the request to its handler, which queues
// at most one reply on the session for the connection loop to send. Unknown codes get no reply.
// The handlers read the catalogue and stamp its entries' `lastUsed`.
void HandleRequest(bsMemRead& request, ClientSession& session, const Catalogue& catalogue);

// The largest reply the request in `request` may get; 0 when it gets none.
size_t LargestReplyFor(const std::vector<uint8_t>& request, const Catalogue& catalogue);
// The largest reply any request may get.
size_t LargestReplyOfAny(const Catalogue& catalogue);

// Whether the request's code is one the service answers.
bool IsKnownRequest(const std::vector<uint8_t>& request);
