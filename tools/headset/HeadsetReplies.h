#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/Replies.h"

// The replies of the server, taken apart as a headset reads them. Each parser
// returns an empty string for a well-formed reply and otherwise says what is
// wrong with it; a reply with a failure status carries nothing more.
namespace headset {

using protocol::Chunk;
using protocol::OpenedMedia;
using protocol::OpenedPackage;
using protocol::PackagedData;
using protocol::StreamRecord;
using protocol::TitleDescription;

// One packet of a batch; its bytes stay in the batch's payload.
struct PacketRecord : protocol::PacketRecord {
    size_t offset = 0;  // of the data within the payload

    void Serialize(protocol::MessageReader& arc) {
        protocol::PacketRecord::Serialize(arc);
        offset = static_cast<size_t>(arc.Tell());
        if (arc.Holds(size))
            arc.Seek(size, 1);
    }
};

struct PacketBatch {
    int32_t status = -1;  // 0 more to come, 1 end of the media, 2 nothing open
    std::vector<PacketRecord> packets;
    std::vector<uint8_t> payload;

    const uint8_t* Data(const PacketRecord& packet) const { return payload.data() + packet.offset; }
};

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
