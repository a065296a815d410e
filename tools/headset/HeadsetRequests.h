#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "protocol/ProtocolLimits.h"

// The requests a headset sends, each written as the server reads it: 32-bit
// and 64-bit little-endian fields, no framing.
namespace headset {

// A data chunk wanted from a packaged movie: the half-open byte range
// [start, end) of its data region, and two tags the reply echoes. An index
// record of the file has this same layout.
struct ChunkRequest {
    int32_t firstTag = 0;
    int32_t secondTag = 0;
    int64_t start = 0;
    int64_t end = 0;
};

// Chunk requests that fit in one 25603 request after its three fields.
constexpr size_t kMaxChunksPerRequest = (::kMaxRequestBytes - 12) / 24;

struct BatchRequest {
    bool seek = false;
    uint64_t seekMicroseconds = 0;
    int32_t videoIndex = -1;
    int32_t audioIndex = -1;
    int32_t subtitleIndex = -1;
};

std::vector<uint8_t> DescribeTitleRequest(int32_t titleIndex);
std::vector<uint8_t> OpenMediaRequest(int32_t titleIndex);
std::vector<uint8_t> PacketBatchRequest(const BatchRequest& request);
std::vector<uint8_t> OpenPackagedRequest(int32_t titleIndex);
std::vector<uint8_t> FetchPackagedRequest(int32_t titleIndex, int32_t firstRecord,
                                          std::span<const ChunkRequest> chunks);

// An index record read as a chunk request.
ChunkRequest ChunkRequestFromRecord(const uint8_t* record);

// True when the server serves the whole range. Any other request would end
// the list of chunks there, or be cut to a 32-bit length.
bool ChunkRequestIsServed(const ChunkRequest& chunk);

}  // namespace headset
