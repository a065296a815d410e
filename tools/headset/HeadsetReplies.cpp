#include "tools/headset/HeadsetReplies.h"

#include <algorithm>
#include <cstddef>

#include "protocol/ProtocolLimits.h"

namespace headset {
namespace {

using protocol::MessageReader;

constexpr int32_t kMaxStreams = 4096;

// Loads `out` with `serialize`; says what is wrong when the reply is too
// short for its head or is another reply.
template <class Reply, class Serialize>
std::string Load(MessageReader& reader, Reply& out, Serialize serialize) {
    const int32_t expected = out.code;
    if (reader.Size() < protocol::Encoded(typename Reply::Head{}).size())
        return "reply too short to hold its code and status";
    serialize();
    if (out.code != expected)
        return "reply code " + std::to_string(out.code) + " where " + std::to_string(expected) +
               " was expected";
    return {};
}

template <class Reply>
std::string Load(MessageReader& reader, Reply& out) {
    return Load(reader, out, [&] { out.Serialize(reader); });
}

std::string Finish(MessageReader& reader, const char* what) {
    if (!reader.Complete())
        return std::string(what) + " cut short";
    if (!reader.OnlyPaddingLeft())
        return std::string(what) + " followed by unexpected bytes";
    return {};
}

}  // namespace

std::string ParseTitleDescription(const std::vector<uint8_t>& payload, TitleDescription& out) {
    MessageReader reader(payload);
    if (std::string error = Load(reader, out); !error.empty())
        return error;
    if (out.status == kStatusSuccess && reader.Complete() &&
        (out.thumbWidth < 0 || out.thumbHeight < 0 ||
         static_cast<int64_t>(out.thumbWidth) * out.thumbHeight * 4 !=
             static_cast<int64_t>(out.thumbnail.size())))
        return "thumbnail size does not match its width and height";
    return Finish(reader, "title description");
}

std::string ParseOpenedMedia(const std::vector<uint8_t>& payload, OpenedMedia& out) {
    MessageReader reader(payload);
    if (std::string error = Load(reader, out); !error.empty())
        return error;
    if (out.status != kStatusSuccess)
        return Finish(reader, "open reply");
    if (out.streamCount < 0 || out.streamCount > kMaxStreams)
        return "open reply names " + std::to_string(out.streamCount) + " streams";
    if (!reader.Complete())
        return "open reply cut short";
    const auto chosen = [&](int32_t index) { return index >= -1 && index < out.streamCount; };
    if (!chosen(out.videoIndex) || !chosen(out.audioIndex) || !chosen(out.subtitleIndex))
        return "open reply chooses a stream the file does not have";
    return Finish(reader, "open reply");
}

std::string ParsePacketBatch(std::vector<uint8_t> payload, PacketBatch& out) {
    out.payload = std::move(payload);
    MessageReader reader(out.payload);
    protocol::PacketBatchHead head;
    if (std::string error = Load(reader, head); !error.empty())
        return error;
    out.status = head.status;
    if (head.count < 0)
        return "packet batch with a negative count";
    protocol::SerializeList(reader, out.packets, head.count);
    return Finish(reader, "packet batch");
}

std::string ParsePackagedData(const std::vector<uint8_t>& payload, PackagedData& out) {
    MessageReader reader(payload);
    std::string error = Load(reader, out);
    return error.empty() ? Finish(reader, "packaged data reply") : error;
}

std::string ParseOpenedPackageCount(const std::vector<uint8_t>& payload, OpenedPackage& out) {
    MessageReader reader(payload);
    if (std::string error = Load(reader, out, [&] { out.SerializeLead(reader); }); !error.empty())
        return error;
    if (out.status != kStatusSuccess)
        return Finish(reader, "packaged open reply");
    return reader.Complete() ? std::string{} : "packaged open reply cut short";
}

std::string ParseOpenedPackageWithHeader(const std::vector<uint8_t>& payload, size_t headerSize,
                                         OpenedPackage& out) {
    MessageReader reader(payload);
    out.header.assign(headerSize, 0);
    if (std::string error = Load(reader, out); !error.empty())
        return error;
    if (out.status != kStatusSuccess) {
        out.header.clear();
        return Finish(reader, "packaged open reply");
    }
    const size_t opened = static_cast<size_t>(std::clamp(out.recordCount, 0, kRecordsOnOpen));
    const size_t sent = out.firstRecords.size() / protocol::kIndexRecordBytes;
    if (reader.Complete() && sent != opened)
        return "packaged open reply sends " + std::to_string(sent) + " records where " +
               std::to_string(opened) + " were expected";
    return Finish(reader, "packaged open reply");
}

std::string ParseOpenedPackage(const std::vector<uint8_t>& payload,
                               const std::vector<uint8_t>& knownRecords, OpenedPackage& out) {
    std::string error = ParseOpenedPackageCount(payload, out);
    if (!error.empty() || out.status != kStatusSuccess)
        return error;
    const auto opened = static_cast<size_t>(std::clamp(out.recordCount, 0, kRecordsOnOpen));
    OpenedPackage bare = out;
    bare.header.clear();
    bare.firstRecords.assign(opened * protocol::kIndexRecordBytes, 0);
    const size_t fixedBytes = protocol::Encoded(bare).size();
    if (payload.size() < fixedBytes)
        return "packaged open reply too short for its " + std::to_string(opened) + " records";
    // The unpadded message ends in the last frame unit of the payload. The
    // shortest header that fits is taken: padding is zeros, and a header
    // rarely ends in them.
    const size_t longest = payload.size() - fixedBytes;
    const size_t shortest = longest >= kReplyFrameUnit - 1 ? longest - (kReplyFrameUnit - 1) : 0;
    for (size_t headerSize = shortest; headerSize <= longest; ++headerSize) {
        OpenedPackage candidate;
        if (!ParseOpenedPackageWithHeader(payload, headerSize, candidate).empty())
            continue;
        const std::vector<uint8_t>& records = candidate.firstRecords;
        if (knownRecords.size() >= records.size() &&
            !std::equal(records.begin(), records.end(), knownRecords.begin()))
            continue;
        out = std::move(candidate);
        return {};
    }
    return "packaged open reply whose header block cannot be told from its records";
}

}  // namespace headset
