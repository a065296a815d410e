#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/MessageArchive.h"
#include "protocol/ProtocolLimits.h"
#include "protocol/RequestCodes.h"

// The requests of a headset. A request has no framing: it is what one
// receive delivers, and a field it is too short for keeps its preset. The
// presets are therefore part of the protocol, and live here.
namespace protocol {

// A request that names one title. A description asked for without an index
// says there is no such title rather than describe one nobody named; a
// request that opens or reads a title without naming one means the first.
template <int32_t Code, int32_t PresetTitle>
struct TitleRequest {
    int32_t code = Code;
    int32_t titleIndex = PresetTitle;

    template <class Archive>
    void Serialize(Archive& arc) {
        arc.Serialize(code).Serialize(titleIndex);
    }
};
using DescribeTitleRequest = TitleRequest<kDescribeTitleRequest, -1>;
using OpenPackagedTitleRequest = TitleRequest<kOpenPackagedTitleRequest, 0>;
using OpenMediaTitleRequest = TitleRequest<kOpenMediaTitleRequest, 0>;

// A title index from a request addresses one of `titleCount` titles.
inline bool IsValidTitleIndex(int32_t index, size_t titleCount) {
    return index >= 0 && static_cast<size_t>(index) < titleCount;
}

// A data chunk wanted from a packaged movie: the half-open byte range
// [start, end) of its data region, and two tags the reply echoes. An index
// record of the file has this same layout. Each field is preset to -1, so
// that a chunk the request is too short for names no range.
struct ChunkRequest {
    int32_t firstTag = -1, secondTag = -1;
    int64_t start = -1, end = -1;

    template <class Archive>
    void Serialize(Archive& arc) {
        arc.Serialize(firstTag).Serialize(secondTag).Serialize(start).Serialize(end);
    }
    // The list of chunks ends at the first one that names no range, or a
    // length negative as the 32-bit count the reply carries.
    bool NamesRange() const {
        return firstTag >= 0 && secondTag >= 0 && start >= 0 && end >= 0 && start <= end &&
               static_cast<int32_t>(static_cast<uint64_t>(end - start)) >= 0;
    }
};
constexpr size_t kChunkRequestBytes = 24;

// Index records and data chunks of a packaged title: as many chunks as the
// request holds after its three fields.
struct FetchPackagedDataRequest {
    int32_t code = kFetchPackagedDataRequest;
    int32_t titleIndex = 0;
    int32_t firstRecord = 0;
    std::vector<ChunkRequest> chunks;

    template <class Archive>
    void Serialize(Archive& arc) {
        arc.Serialize(code).Serialize(titleIndex).Serialize(firstRecord);
        SerializeToEnd(arc, chunks);
    }
};
constexpr size_t kMaxChunksPerRequest =
    (kMaxRequestBytes - 3 * sizeof(int32_t)) / kChunkRequestBytes;

// The next batch of packets of the open media title, after a seek when
// `seekWanted` is above 0. A stream index of -1 names no stream of its kind.
struct FetchPacketBatchRequest {
    int32_t code = kFetchPacketBatchRequest;
    int32_t seekWanted = 0;
    uint64_t seekMicroseconds = 0;
    int32_t videoIndex = -1, audioIndex = -1, subtitleIndex = -1;

    template <class Archive>
    void Serialize(Archive& arc) {
        arc.Serialize(code).Serialize(seekWanted).Serialize(seekMicroseconds);
        arc.Serialize(videoIndex).Serialize(audioIndex).Serialize(subtitleIndex);
    }
};

}  // namespace protocol
