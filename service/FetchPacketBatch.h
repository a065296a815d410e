#pragma once

#include "archive/bsMemRead.h"
#include "service/ClientSession.h"

// 25604: optionally seeks, then sends the next batch of packets of the
// session's open media title.
void FetchPacketBatch(bsMemRead& request, ClientSession& session);
