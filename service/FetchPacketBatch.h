#pragma once

#include <cstddef>

#include "archive/bsMemRead.h"
#include "catalogue/Catalogue.h"
#include "service/ClientSession.h"

// 25604: optionally seeks, then sends the next batch of packets of the
// session's open media title. The catalogue is not used.
void FetchPacketBatch(bsMemRead& request, ClientSession& session, const Catalogue& catalogue);

// A batch reads at most 32 MiB of the file; with its records, this is the
// most it may send.
constexpr size_t kLargestBatchReply = 48 * 1048576;
