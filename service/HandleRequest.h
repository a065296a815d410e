#pragma once

#include "archive/bsMemRead.h"
#include "catalogue/Catalogue.h"
#include "service/ClientSession.h"

// Reads the request code and hands the request to its handler, which sends
// at most one reply on the session's socket. Unknown codes get no reply.
// The handlers read the catalogue and stamp its entries' `lastUsed`.
void HandleRequest(bsMemRead& request, ClientSession& session, Catalogue& catalogue);
