#include "tools/headset/Announcement.h"

#include <cstring>

#include "archive/bsMemRead.h"
#include "protocol/ServiceConstants.h"

namespace headset {
namespace {

constexpr size_t kFixedBytes = 24;
// More addresses than this are not a PC's but a broken count.
constexpr int32_t kMaxFurtherAddresses = 1024;

Address ReadAddress(bsMemRead& reader) {
    Address address{};
    for (uint8_t& byte : address)
        reader.Serialize(byte);
    return address;
}

}  // namespace

std::string ParseAnnouncement(const uint8_t* data, size_t size, Announcement& out) {
    if (size < kFixedBytes)
        return "too short (" + std::to_string(size) + " bytes)";
    bsMemRead reader(data, size);
    uint64_t magic = 0;
    reader.Serialize(magic);
    if (magic != ANNOUNCE_MAGIC)
        return "wrong magic";
    const Address first = ReadAddress(reader);
    int32_t further = 0;
    reader.Serialize(out.port).Serialize(out.titleCount).Serialize(further);
    if (further < -1 || further > kMaxFurtherAddresses)
        return "impossible address count " + std::to_string(further);
    const size_t expected = kFixedBytes + 4 * static_cast<size_t>(further > 0 ? further : 0);
    if (size != expected)
        return std::to_string(size) + " bytes where its address count makes " +
               std::to_string(expected);
    if (out.port <= 0 || out.port > 65535)
        return "impossible port " + std::to_string(out.port);
    if (out.titleCount < 0)
        return "negative title count";
    out.placeholderAddress = further == -1;
    out.addresses.assign(1, first);
    for (int32_t i = 0; i < further; ++i)
        out.addresses.push_back(ReadAddress(reader));
    return {};
}

std::string FormatAddress(const Address& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
           std::to_string(address[2]) + "." + std::to_string(address[3]);
}

}  // namespace headset
