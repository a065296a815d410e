#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "protocol/Requests.h"

// The requests a headset sends, as the bytes of one send each.
namespace headset {

using protocol::ChunkRequest;
using protocol::kMaxChunksPerRequest;
using BatchRequest = protocol::FetchPacketBatchRequest;

inline std::vector<uint8_t> DescribeTitleRequest(int32_t titleIndex) {
    return protocol::Encoded(protocol::DescribeTitleRequest{.titleIndex = titleIndex});
}
inline std::vector<uint8_t> OpenMediaRequest(int32_t titleIndex) {
    return protocol::Encoded(protocol::OpenMediaTitleRequest{.titleIndex = titleIndex});
}
inline std::vector<uint8_t> OpenPackagedRequest(int32_t titleIndex) {
    return protocol::Encoded(protocol::OpenPackagedTitleRequest{.titleIndex = titleIndex});
}
inline std::vector<uint8_t> PacketBatchRequest(const BatchRequest& request) {
    return protocol::Encoded(request);
}
inline std::vector<uint8_t> FetchPackagedRequest(int32_t titleIndex, int32_t firstRecord,
                                                 std::span<const ChunkRequest> chunks) {
    return protocol::Encoded(
        protocol::FetchPackagedDataRequest{.titleIndex = titleIndex,
                                           .firstRecord = firstRecord,
                                           .chunks = {chunks.begin(), chunks.end()}});
}

// True when the server serves the whole range. Any other request would end
// the list of chunks there, or be cut to a 32-bit length.
inline bool ChunkRequestIsServed(const ChunkRequest& chunk) {
    return chunk.NamesRange() && chunk.end - chunk.start <= INT32_MAX;
}

}  // namespace headset
