#include "tools/headset/HeadsetReplies.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "protocol/ProtocolLimits.h"
#include "protocol/RequestCodes.h"
#include "tools/headset/ReplyFields.h"

namespace headset {
namespace {

constexpr int32_t kMaxStreams = 4096;
constexpr int32_t kMaxOpenedRecords = kRecordsOnOpen;

std::string CodeName(int32_t code) {
    return std::to_string(code);
}

// Reads the code and status; false with `error` set when the code is wrong.
bool ReadHead(ReplyFields& fields, int32_t requestCode, int32_t& status, std::string& error) {
    const auto code = fields.Read<int32_t>();
    status = fields.Read<int32_t>();
    if (!fields.Complete()) {
        error = "reply too short to hold its code and status";
        return false;
    }
    if (code != ReplyCodeFor(requestCode)) {
        error = "reply code " + CodeName(code) + " where " + CodeName(ReplyCodeFor(requestCode)) +
                " was expected";
        return false;
    }
    return true;
}

std::string Finish(ReplyFields& fields, const char* what) {
    if (!fields.Complete())
        return std::string(what) + " cut short";
    if (!fields.OnlyPaddingLeft())
        return std::string(what) + " followed by unexpected bytes";
    return {};
}

StreamRecord ReadStreamRecord(ReplyFields& fields) {
    StreamRecord record;
    record.kind = fields.Read<int32_t>();
    if (record.kind == 1) {
        record.codecId = fields.Read<int32_t>();
        record.sampleRate = fields.Read<int32_t>();
        record.channels = fields.Read<int32_t>();
        record.sampleFormat = fields.Read<int32_t>();
        record.channelLayout = fields.Read<uint64_t>();
    } else if (record.kind == 2) {
        record.codecId = fields.Read<int32_t>();
    }
    return record;
}

bool StreamIndexIsValid(int32_t index, int32_t streamCount) {
    return index >= -1 && index < streamCount;
}

}  // namespace

std::string ParseTitleDescription(const std::vector<uint8_t>& payload, TitleDescription& out) {
    ReplyFields fields(payload);
    std::string error;
    if (!ReadHead(fields, kDescribeTitleRequest, out.status, error))
        return error;
    if (out.status != kStatusSuccess)
        return Finish(fields, "title description");
    const auto titleLength = fields.Read<int32_t>();
    const auto thumbnailLength = fields.Read<int32_t>();
    out.thumbWidth = fields.Read<int32_t>();
    out.thumbHeight = fields.Read<int32_t>();
    const std::vector<uint8_t> title = fields.Bytes(titleLength);
    out.title.assign(title.begin(), title.end());
    out.thumbnail = fields.Bytes(thumbnailLength);
    if (fields.Complete() && (out.thumbWidth < 0 || out.thumbHeight < 0 ||
                              static_cast<int64_t>(out.thumbWidth) * out.thumbHeight * 4 !=
                                  static_cast<int64_t>(out.thumbnail.size())))
        return "thumbnail size does not match its width and height";
    return Finish(fields, "title description");
}

std::string ParseOpenedMedia(const std::vector<uint8_t>& payload, OpenedMedia& out) {
    ReplyFields fields(payload);
    std::string error;
    if (!ReadHead(fields, kOpenMediaTitleRequest, out.status, error))
        return error;
    if (out.status != kStatusSuccess)
        return Finish(fields, "open reply");
    out.width = fields.Read<int32_t>();
    out.height = fields.Read<int32_t>();
    out.streamCount = fields.Read<int32_t>();
    out.videoIndex = fields.Read<int32_t>();
    out.audioIndex = fields.Read<int32_t>();
    out.subtitleIndex = fields.Read<int32_t>();
    out.audioCodec = fields.Read<int32_t>();
    out.sampleRate = fields.Read<int32_t>();
    out.channels = fields.Read<int32_t>();
    out.sampleFormat = fields.Read<int32_t>();
    out.channelLayout = fields.Read<uint64_t>();
    out.subtitleCodec = fields.Read<int32_t>();
    const auto mimeLength = fields.Read<int32_t>();
    const auto csd0Length = fields.Read<int32_t>();
    const auto csd1Length = fields.Read<int32_t>();
    out.flags = fields.Read<uint32_t>();
    out.profile = fields.Read<int32_t>();
    out.level = fields.Read<int32_t>();
    out.frameRate = fields.Read<int32_t>();
    out.duration = fields.Read<int64_t>();
    out.spareA = fields.Read<int32_t>();
    out.spareB = fields.Read<int32_t>();
    const std::vector<uint8_t> mime = fields.Bytes(mimeLength);
    out.mimeType.assign(mime.begin(), mime.end());
    out.csd0 = fields.Bytes(csd0Length);
    out.csd1 = fields.Bytes(csd1Length);
    if (!fields.Complete())
        return "open reply cut short";
    if (out.streamCount < 0 || out.streamCount > kMaxStreams)
        return "open reply names " + std::to_string(out.streamCount) + " streams";
    if (!StreamIndexIsValid(out.videoIndex, out.streamCount) ||
        !StreamIndexIsValid(out.audioIndex, out.streamCount) ||
        !StreamIndexIsValid(out.subtitleIndex, out.streamCount))
        return "open reply chooses a stream the file does not have";
    for (int32_t i = 0; i < out.streamCount && fields.Complete(); ++i)
        out.streams.push_back(ReadStreamRecord(fields));
    return Finish(fields, "open reply");
}

std::string ParsePacketBatch(std::vector<uint8_t> payload, PacketBatch& out) {
    out.payload = std::move(payload);
    ReplyFields fields(out.payload);
    std::string error;
    if (!ReadHead(fields, kFetchPacketBatchRequest, out.status, error))
        return error;
    const auto count = fields.Read<int32_t>();
    if (!fields.Complete())
        return "packet batch cut short";
    if (count < 0)
        return "packet batch with a negative count";
    for (int32_t i = 0; i < count && fields.Complete(); ++i) {
        PacketRecord packet;
        packet.streamIndex = fields.Read<int32_t>();
        packet.size = fields.Read<int32_t>();
        packet.flags = fields.Read<int32_t>();
        packet.pts = fields.Read<int64_t>();
        packet.dts = fields.Read<int64_t>();
        packet.duration = fields.Read<int64_t>();
        packet.offset = static_cast<size_t>(fields.Position());
        if (fields.Complete() && packet.size < 0)
            return "packet " + std::to_string(i) + " has a negative size";
        if (fields.Skip(packet.size))
            out.packets.push_back(packet);
    }
    return Finish(fields, "packet batch");
}

std::string ParsePackagedData(const std::vector<uint8_t>& payload, PackagedData& out) {
    ReplyFields fields(payload);
    std::string error;
    if (!ReadHead(fields, kFetchPackagedDataRequest, out.status, error))
        return error;
    if (out.status != kStatusSuccess)
        return Finish(fields, "packaged data reply");
    const auto count = fields.Read<int32_t>();
    if (fields.Complete() && count < 0)
        return "packaged data reply with a negative record count";
    out.records = fields.Bytes(static_cast<int64_t>(count) * kIndexRecordSize);
    while (fields.Complete()) {
        Chunk chunk;
        chunk.firstTag = fields.Read<int32_t>();
        chunk.secondTag = fields.Read<int32_t>();
        if (chunk.firstTag == -1 && chunk.secondTag == -1)
            break;
        const auto length = fields.Read<int32_t>();
        chunk.bytes = fields.Bytes(length);
        if (fields.Complete())
            out.chunks.push_back(std::move(chunk));
    }
    return Finish(fields, "packaged data reply");
}

std::string ParseOpenedPackageCount(const std::vector<uint8_t>& payload, OpenedPackage& out) {
    ReplyFields fields(payload);
    std::string error;
    if (!ReadHead(fields, kOpenPackagedTitleRequest, out.status, error))
        return error;
    if (out.status != kStatusSuccess)
        return Finish(fields, "packaged open reply");
    out.recordCount = fields.Read<int32_t>();
    return fields.Complete() ? std::string{} : "packaged open reply cut short";
}

std::string ParseOpenedPackageWithHeader(const std::vector<uint8_t>& payload, size_t headerSize,
                                         OpenedPackage& out) {
    std::string error = ParseOpenedPackageCount(payload, out);
    if (!error.empty() || out.status != kStatusSuccess)
        return error;
    ReplyFields fields(payload);
    fields.Skip(12);
    out.header = fields.Bytes(static_cast<int64_t>(headerSize));
    const auto sent = fields.Read<int32_t>();
    const int32_t opened = std::clamp(out.recordCount, 0, kMaxOpenedRecords);
    if (fields.Complete() && sent != opened)
        return "packaged open reply sends " + std::to_string(sent) + " records where " +
               std::to_string(opened) + " were expected";
    out.firstRecords = fields.Bytes(static_cast<int64_t>(sent) * kIndexRecordSize);
    return Finish(fields, "packaged open reply");
}

namespace {

// True when the header block ends `headerSize` bytes after offset 12: the
// count of records and the records themselves follow it, then only zeros.
bool HeaderEndsAt(const std::vector<uint8_t>& payload, size_t headerSize, int32_t opened,
                  const std::vector<uint8_t>& knownRecords) {
    const size_t countAt = 12 + headerSize;
    const size_t recordsAt = countAt + 4;
    const size_t recordBytes = static_cast<size_t>(opened) * kIndexRecordSize;
    if (recordsAt + recordBytes > payload.size())
        return false;
    int32_t count = 0;
    std::memcpy(&count, payload.data() + countAt, sizeof count);
    if (count != opened)
        return false;
    if (knownRecords.size() >= recordBytes &&
        !std::equal(knownRecords.begin(),
                    knownRecords.begin() + static_cast<std::ptrdiff_t>(recordBytes),
                    payload.begin() + static_cast<std::ptrdiff_t>(recordsAt)))
        return false;
    return std::all_of(payload.begin() + static_cast<std::ptrdiff_t>(recordsAt + recordBytes),
                       payload.end(), [](uint8_t byte) { return byte == 0; });
}

}  // namespace

std::string ParseOpenedPackage(const std::vector<uint8_t>& payload,
                               const std::vector<uint8_t>& knownRecords, OpenedPackage& out) {
    std::string error = ParseOpenedPackageCount(payload, out);
    if (!error.empty() || out.status != kStatusSuccess)
        return error;
    const int32_t opened = std::clamp(out.recordCount, 0, kMaxOpenedRecords);
    const size_t fixedBytes = 16 + static_cast<size_t>(opened) * kIndexRecordSize;
    if (payload.size() < fixedBytes)
        return "packaged open reply too short for its " + std::to_string(opened) + " records";
    // The unpadded message ends in the last 16 bytes of the payload. The
    // shortest header that fits is taken: padding is zeros, and a header
    // rarely ends in them.
    const size_t longest = payload.size() - fixedBytes;
    const size_t shortest = longest >= 15 ? longest - 15 : 0;
    for (size_t headerSize = shortest; headerSize <= longest; ++headerSize) {
        if (HeaderEndsAt(payload, headerSize, opened, knownRecords))
            return ParseOpenedPackageWithHeader(payload, headerSize, out);
    }
    return "packaged open reply whose header block cannot be told from its records";
}

}  // namespace headset
