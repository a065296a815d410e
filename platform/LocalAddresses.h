#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// An IPv4 address as its four bytes in network order, first octet first.
using Ipv4Address = std::array<uint8_t, 4>;

// One IPv4 address of an interface and that interface's IFF_* flags.
struct InterfaceAddress {
    Ipv4Address address{};
    unsigned flags = 0;
};

// The addresses a headset on the local network could reach, in the order
// given: those of the interfaces that are up and running (have a link), or,
// when no such interface has an address, those of the interfaces that are
// up; loopback only when nothing else is up.
std::vector<Ipv4Address> PickLocalAddresses(const std::vector<InterfaceAddress>& interfaces);

// The host's own IPv4 addresses, picked as above from the interfaces in the
// order the system lists them.
std::vector<Ipv4Address> LocalIpv4Addresses();

// The names of the interfaces that are up with an IPv4 address, loopback
// left out, each once, in the order the system lists them.
std::vector<std::string> Ipv4InterfaceNames();

// Dotted-quad text of an address, and back; the parse accepts exactly four
// decimal numbers from 0 to 255 separated by dots.
std::optional<Ipv4Address> ParseIpv4Address(std::string_view text);
std::string FormatIpv4Address(const Ipv4Address& address);

}  // namespace platform
