#include "tools/headset/HeadsetRequests.h"

#include <cstring>

#include "archive/bsMemWrite.h"
#include "protocol/RequestCodes.h"

namespace headset {
namespace {

std::vector<uint8_t> CodeAndTitle(int32_t code, int32_t titleIndex) {
    bsMemWrite writer;
    writer.Serialize(code);
    writer.Serialize(titleIndex);
    return std::move(writer.Buffer());
}

}  // namespace

std::vector<uint8_t> DescribeTitleRequest(int32_t titleIndex) {
    return CodeAndTitle(kDescribeTitleRequest, titleIndex);
}

std::vector<uint8_t> OpenMediaRequest(int32_t titleIndex) {
    return CodeAndTitle(kOpenMediaTitleRequest, titleIndex);
}

std::vector<uint8_t> OpenPackagedRequest(int32_t titleIndex) {
    return CodeAndTitle(kOpenPackagedTitleRequest, titleIndex);
}

std::vector<uint8_t> PacketBatchRequest(const BatchRequest& request) {
    bsMemWrite writer;
    int32_t code = kFetchPacketBatchRequest;
    int32_t seekWanted = request.seek ? 1 : 0;
    uint64_t position = request.seekMicroseconds;
    int32_t video = request.videoIndex, audio = request.audioIndex,
            subtitle = request.subtitleIndex;
    writer.Serialize(code).Serialize(seekWanted).Serialize(position);
    writer.Serialize(video).Serialize(audio).Serialize(subtitle);
    return std::move(writer.Buffer());
}

std::vector<uint8_t> FetchPackagedRequest(int32_t titleIndex, int32_t firstRecord,
                                          std::span<const ChunkRequest> chunks) {
    bsMemWrite writer;
    int32_t code = kFetchPackagedDataRequest;
    writer.Serialize(code).Serialize(titleIndex).Serialize(firstRecord);
    for (ChunkRequest chunk : chunks) {
        writer.Serialize(chunk.firstTag).Serialize(chunk.secondTag);
        writer.Serialize(chunk.start).Serialize(chunk.end);
    }
    return std::move(writer.Buffer());
}

ChunkRequest ChunkRequestFromRecord(const uint8_t* record) {
    ChunkRequest chunk;
    std::memcpy(&chunk.firstTag, record, 4);
    std::memcpy(&chunk.secondTag, record + 4, 4);
    std::memcpy(&chunk.start, record + 8, 8);
    std::memcpy(&chunk.end, record + 16, 8);
    return chunk;
}

bool ChunkRequestIsServed(const ChunkRequest& chunk) {
    return chunk.firstTag >= 0 && chunk.secondTag >= 0 && chunk.start >= 0 &&
           chunk.start <= chunk.end && chunk.end - chunk.start <= INT32_MAX;
}

}  // namespace headset
