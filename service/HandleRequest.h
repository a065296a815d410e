#pragma once

#include "archive/bsMemRead.h"
#include "service/ClientSession.h"

// Reads the request code and hands the request to its handler, which sends
// at most one reply on the session's socket. Unknown codes get no reply.
void HandleRequest(bsMemRead& request, ClientSession& session);
