#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/MessageArchive.h"
#include "protocol/RequestCodes.h"

// The replies of the server. A headset loads them with a MessageReader, so
// that a cut reply shows as incomplete rather than as zeros.
namespace protocol {

constexpr size_t kIndexRecordBytes = 24;

// The code and the status that lead every reply. A failure reply carries
// nothing more, except for a batch of packets.
template <int32_t RequestCode>
struct ReplyHead {
    using Head = ReplyHead;
    int32_t code = ReplyCodeFor(RequestCode);
    int32_t status = kStatusSuccess;

    // True when the rest of a reply follows.
    template <class Archive>
    bool SerializeHead(Archive& arc) {
        arc.Serialize(code).Serialize(status);
        return status == kStatusSuccess;
    }
    template <class Archive>
    void Serialize(Archive& arc) {
        SerializeHead(arc);
    }
};

// 33793: one title's name and thumbnail.
struct TitleDescription : ReplyHead<kDescribeTitleRequest> {
    std::string title;  // UTF-8
    int32_t thumbWidth = 0, thumbHeight = 0;
    std::vector<uint8_t> thumbnail;  // 4 bytes a pixel, B G R A

    template <class Archive>
    void Serialize(Archive& arc) {
        if (!SerializeHead(arc))
            return;
        int32_t titleLength = LengthOf(title);
        int32_t thumbnailBytes = LengthOf(thumbnail);
        arc.Serialize(titleLength).Serialize(thumbnailBytes);
        arc.Serialize(thumbWidth).Serialize(thumbHeight);
        SerializeRun(arc, title, titleLength);
        SerializeRun(arc, thumbnail, thumbnailBytes);
    }
};

// 33794: the opened packaged title. The reply does not say how long the
// header block is: a reader sizes `header` to it before loading.
struct OpenedPackage : ReplyHead<kOpenPackagedTitleRequest> {
    int32_t recordCount = 0;  // as the file says now, not limited
    std::vector<uint8_t> header;
    std::vector<uint8_t> firstRecords;  // kIndexRecordBytes each

    // The head and the record count, which a reader can take without
    // knowing the header block's length.
    template <class Archive>
    bool SerializeLead(Archive& arc) {
        if (!SerializeHead(arc))
            return false;
        arc.Serialize(recordCount);
        return true;
    }
    template <class Archive>
    void Serialize(Archive& arc) {
        if (!SerializeLead(arc))
            return;
        SerializeRun(arc, header, LengthOf(header));
        int32_t sent = static_cast<int32_t>(firstRecords.size() / kIndexRecordBytes);
        arc.Serialize(sent);
        SerializeRun(arc, firstRecords, int64_t{sent} * int64_t{kIndexRecordBytes});
    }
};

// One data chunk of 33795: the request's tags, the length and the bytes. The
// list of chunks ends with a mark of two tags of -1 and nothing else.
struct Chunk {
    int32_t firstTag = -1, secondTag = -1;
    int32_t length = 0;
    std::vector<uint8_t> bytes;  // `length` of them

    bool IsEndMark() const { return firstTag == -1 && secondTag == -1; }
};

// 33795: index records and data chunks of a packaged title.
struct PackagedData : ReplyHead<kFetchPackagedDataRequest> {
    std::vector<uint8_t> records;  // kIndexRecordBytes each
    std::vector<Chunk> chunks;

    // `chunkBytes(arc, chunk)` transfers the bytes of one chunk: the server
    // has them read from the file as the reply goes out.
    template <class Archive, class ChunkBytes>
    void Serialize(Archive& arc, ChunkBytes chunkBytes) {
        if (!SerializeHead(arc))
            return;
        int32_t count = static_cast<int32_t>(records.size() / kIndexRecordBytes);
        arc.Serialize(count);
        SerializeRun(arc, records, int64_t{count} * int64_t{kIndexRecordBytes});
        // False for the end mark.
        const auto serializeChunk = [&](Chunk& chunk) {
            arc.Serialize(chunk.firstTag).Serialize(chunk.secondTag);
            if (chunk.IsEndMark())
                return false;
            arc.Serialize(chunk.length);
            chunkBytes(arc, chunk);
            return true;
        };
        Chunk chunk;
        if constexpr (kStoring<Archive>) {
            for (Chunk& each : chunks)
                serializeChunk(each);
            serializeChunk(chunk);
        } else {
            for (; serializeChunk(chunk) && arc.Complete(); chunk = Chunk{})
                chunks.push_back(std::move(chunk));
        }
    }
    template <class Archive>
    void Serialize(Archive& arc) {
        Serialize(arc, [](auto& a, Chunk& chunk) { SerializeRun(a, chunk.bytes, chunk.length); });
    }
};

// One packet of 33796; its `size` bytes of data follow it.
struct PacketRecord {
    int32_t streamIndex = 0;
    int32_t size = 0;
    int32_t flags = 0;                       // bit 0: key frame
    int64_t pts = 0, dts = 0, duration = 0;  // microseconds

    template <class Archive>
    void Serialize(Archive& arc) {
        arc.Serialize(streamIndex).Serialize(size).Serialize(flags);
        arc.Serialize(pts).Serialize(dts).Serialize(duration);
    }
};

// 33796: the head of a batch of packets, whose `count` records follow it.
// It carries its count whatever the status.
struct PacketBatchHead : ReplyHead<kFetchPacketBatchRequest> {
    int32_t count = 0;

    template <class Archive>
    void Serialize(Archive& arc) {
        SerializeHead(arc);
        arc.Serialize(count);
    }
};

// The kind of each stream of an opened media file.
constexpr int32_t kStreamKindOther = 0;
constexpr int32_t kStreamKindAudio = 1;
constexpr int32_t kStreamKindSubtitle = 2;

struct StreamRecord {
    int32_t kind = kStreamKindOther;
    int32_t codecId = 0;
    int32_t sampleRate = 0;
    int32_t channels = 0;
    int32_t sampleFormat = 0;
    uint64_t channelLayout = 0;

    template <class Archive>
    void Serialize(Archive& arc) {
        arc.Serialize(kind);
        if (kind == kStreamKindAudio) {
            arc.Serialize(codecId).Serialize(sampleRate).Serialize(channels);
            arc.Serialize(sampleFormat).Serialize(channelLayout);
        } else if (kind == kStreamKindSubtitle) {
            arc.Serialize(codecId);
        }
    }
};

// 33797: the opened media title, its chosen streams and decoder parameters,
// and a record of every stream of the file.
struct OpenedMedia : ReplyHead<kOpenMediaTitleRequest> {
    int32_t width = 0, height = 0, streamCount = 0;
    int32_t videoIndex = -1, audioIndex = -1, subtitleIndex = -1;
    int32_t audioCodec = 0, sampleRate = 0, channels = 0, sampleFormat = 0;
    uint64_t channelLayout = 0;
    int32_t subtitleCodec = 0;
    uint32_t flags = 0;
    int32_t profile = 0, level = 0, frameRate = 0;
    int64_t duration = 0;  // microseconds
    int32_t spareA = 0, spareB = 0;
    std::string mimeType;
    std::vector<uint8_t> csd0, csd1;
    std::vector<StreamRecord> streams;  // `streamCount` of them

    template <class Archive>
    void Serialize(Archive& arc) {
        if (!SerializeHead(arc))
            return;
        arc.Serialize(width).Serialize(height).Serialize(streamCount);
        arc.Serialize(videoIndex).Serialize(audioIndex).Serialize(subtitleIndex);
        arc.Serialize(audioCodec).Serialize(sampleRate).Serialize(channels);
        arc.Serialize(sampleFormat).Serialize(channelLayout).Serialize(subtitleCodec);
        int32_t mimeLength = LengthOf(mimeType);
        int32_t csd0Length = LengthOf(csd0);
        int32_t csd1Length = LengthOf(csd1);
        arc.Serialize(mimeLength).Serialize(csd0Length).Serialize(csd1Length).Serialize(flags);
        arc.Serialize(profile).Serialize(level).Serialize(frameRate);
        arc.Serialize(duration).Serialize(spareA).Serialize(spareB);
        SerializeRun(arc, mimeType, mimeLength);
        SerializeRun(arc, csd0, csd0Length);
        SerializeRun(arc, csd1, csd1Length);
        SerializeList(arc, streams, streamCount);
    }
};

}  // namespace protocol
