#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The replies of the server, taken apart as a headset reads them. Each parser
// returns an empty string for a well-formed reply and otherwise says what is
// wrong with it; a reply with a failure status carries nothing more.
namespace headset {

struct TitleDescription {
    int32_t status = -1;
    std::string title;
    int32_t thumbWidth = 0;
    int32_t thumbHeight = 0;
    std::vector<uint8_t> thumbnail;  // 4 bytes a pixel, B G R A
};

struct StreamRecord {
    int32_t kind = 0;  // 1 audio, 2 subtitle, 0 anything else
    int32_t codecId = 0;
    int32_t sampleRate = 0;
    int32_t channels = 0;
    int32_t sampleFormat = 0;
    uint64_t channelLayout = 0;
};

struct OpenedMedia {
    int32_t status = -1;
    int32_t width = 0, height = 0, streamCount = 0;
    int32_t videoIndex = -1, audioIndex = -1, subtitleIndex = -1;
    int32_t audioCodec = 0, sampleRate = 0, channels = 0, sampleFormat = 0;
    uint64_t channelLayout = 0;
    int32_t subtitleCodec = 0;
    uint32_t flags = 0;
    int32_t profile = 0, level = 0, frameRate = 0;
    int64_t duration = 0;              // microseconds
    int32_t spareA = -1, spareB = -1;  // 0 from every server so far
    std::string mimeType;
    std::vector<uint8_t> csd0, csd1;
    std::vector<StreamRecord> streams;
};

// One packet of a batch; its bytes stay in the batch's payload.
struct PacketRecord {
    int32_t streamIndex = 0;
    int32_t flags = 0;
    int64_t pts = 0, dts = 0, duration = 0;  // microseconds
    size_t offset = 0;                       // of the data within the payload
    int32_t size = 0;
};

struct PacketBatch {
    int32_t status = -1;  // 0 more to come, 1 end of the media, 2 nothing open
    std::vector<PacketRecord> packets;
    std::vector<uint8_t> payload;

    const uint8_t* Data(const PacketRecord& packet) const { return payload.data() + packet.offset; }
};

struct OpenedPackage {
    int32_t status = -1;
    int32_t recordCount = 0;  // as the file says now, not limited
    std::vector<uint8_t> header;
    std::vector<uint8_t> firstRecords;  // 24 bytes each
};

// One data chunk of a packaged movie as the reply carries it.
struct Chunk {
    int32_t firstTag = 0;
    int32_t secondTag = 0;
    std::vector<uint8_t> bytes;
};

struct PackagedData {
    int32_t status = -1;
    std::vector<uint8_t> records;  // 24 bytes each
    std::vector<Chunk> chunks;
};

constexpr size_t kIndexRecordSize = 24;

// The server rescales a missing time stamp like any other value, which turns
// FFmpeg's marker into some huge number; no real stamp comes near it.
constexpr bool IsRealTimeStamp(int64_t microseconds) {
    constexpr int64_t kLargestReal = int64_t{1} << 62;
    return microseconds <= kLargestReal && microseconds >= -kLargestReal;
}

std::string ParseTitleDescription(const std::vector<uint8_t>& payload, TitleDescription& out);
std::string ParseOpenedMedia(const std::vector<uint8_t>& payload, OpenedMedia& out);
std::string ParsePacketBatch(std::vector<uint8_t> payload, PacketBatch& out);
std::string ParsePackagedData(const std::vector<uint8_t>& payload, PackagedData& out);

// Reply 33794 does not say how long the header block is. It is told apart
// from the frame padding by the records that follow it: `knownRecords` are
// the first records of the file as a fetch returned them (empty when the
// file has none).
std::string ParseOpenedPackage(const std::vector<uint8_t>& payload,
                               const std::vector<uint8_t>& knownRecords, OpenedPackage& out);

// Reply 33794 for a reader that knows how long the title's header block is.
std::string ParseOpenedPackageWithHeader(const std::vector<uint8_t>& payload, size_t headerSize,
                                         OpenedPackage& out);

// Reads only the code, status and record count of reply 33794.
std::string ParseOpenedPackageCount(const std::vector<uint8_t>& payload, OpenedPackage& out);

}  // namespace headset
