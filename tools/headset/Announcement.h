#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace headset {

using Address = std::array<uint8_t, 4>;

// What a server says of itself in its discovery datagram.
struct Announcement {
    std::vector<Address> addresses;  // the first one always; more when it has them
    int32_t port = 0;
    int32_t titleCount = 0;
    // A server without any address of its own still sends a fixed one.
    bool placeholderAddress = false;
};

// Takes a datagram apart; an empty result means it is well formed, anything
// else says why it is not one of ours or is damaged.
std::string ParseAnnouncement(const uint8_t* data, size_t size, Announcement& out);

std::string FormatAddress(const Address& address);

}  // namespace headset
