#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "protocol/ProtocolLimits.h"
#include "tools/headset/HeadsetRequests.h"

namespace headset {

// What the server serves of one chunk, and of all chunks of one reply.
constexpr int64_t kLargestChunk = kMaxChunkBytes;
constexpr int64_t kLargestReplyData = kMaxReplyChunkBytes;

// The data ranges the index records name, in record order, as chunk
// requests the server serves whole: a long range is split into pieces with
// the record's tags. Records that name no servable range are counted in
// `unusable` and left out.
std::vector<ChunkRequest> DataPieces(const std::vector<uint8_t>& records, size_t& unusable);

// How many pieces from `first` on go into the next request: at least one,
// at most what one request holds, and no more bytes than `maxBytes` unless
// the first piece alone is longer.
size_t PiecesForOneRequest(std::span<const ChunkRequest> pieces, size_t first, int64_t maxBytes);

}  // namespace headset
