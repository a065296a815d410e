#include "platform/LocalAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>

namespace platform {
namespace {

struct InterfaceListDeleter {
    void operator()(ifaddrs* list) const { freeifaddrs(list); }
};

Ipv4Address ToAddress(const sockaddr* address) {
    Ipv4Address bytes{};
    const auto* inet = reinterpret_cast<const sockaddr_in*>(address);
    std::memcpy(bytes.data(), &inet->sin_addr.s_addr, bytes.size());
    return bytes;
}

}  // namespace

std::vector<Ipv4Address> PickLocalAddresses(const std::vector<InterfaceAddress>& interfaces) {
    std::vector<Ipv4Address> running;
    std::vector<Ipv4Address> external;
    std::vector<Ipv4Address> loopback;
    for (const InterfaceAddress& entry : interfaces) {
        if ((entry.flags & IFF_UP) == 0)
            continue;
        if ((entry.flags & IFF_LOOPBACK) != 0 || entry.address[0] == 127) {
            loopback.push_back(entry.address);
            continue;
        }
        external.push_back(entry.address);
        // An interface that is up without a link (a bridge with no member, an
        // unplugged adapter) reaches no headset.
        if ((entry.flags & IFF_RUNNING) != 0)
            running.push_back(entry.address);
    }
    if (!running.empty())
        return running;
    return external.empty() ? loopback : external;
}

std::vector<Ipv4Address> LocalIpv4Addresses() {
    ifaddrs* raw = nullptr;
    if (getifaddrs(&raw) != 0)
        return {};
    std::unique_ptr<ifaddrs, InterfaceListDeleter> list(raw);

    std::vector<InterfaceAddress> interfaces;
    for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        interfaces.push_back({ToAddress(entry->ifa_addr), entry->ifa_flags});
    }
    return PickLocalAddresses(interfaces);
}

std::vector<std::string> Ipv4InterfaceNames() {
    ifaddrs* raw = nullptr;
    if (getifaddrs(&raw) != 0)
        return {};
    std::unique_ptr<ifaddrs, InterfaceListDeleter> list(raw);

    std::vector<std::string> names;
    for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0)
            continue;
        if (std::find(names.begin(), names.end(), entry->ifa_name) == names.end())
            names.emplace_back(entry->ifa_name);
    }
    return names;
}

std::optional<Ipv4Address> ParseIpv4Address(std::string_view text) {
    Ipv4Address address{};
    const char* cursor = text.data();
    const char* end = text.data() + text.size();
    for (size_t i = 0; i < address.size(); ++i) {
        if (i > 0) {
            if (cursor == end || *cursor != '.')
                return std::nullopt;
            ++cursor;
        }
        if (cursor == end || *cursor < '0' || *cursor > '9')
            return std::nullopt;
        unsigned value = 0;
        const auto [next, error] = std::from_chars(cursor, end, value);
        if (error != std::errc{} || value > 255 || next - cursor > 3)
            return std::nullopt;
        address[i] = static_cast<uint8_t>(value);
        cursor = next;
    }
    if (cursor != end)
        return std::nullopt;
    return address;
}

std::string FormatIpv4Address(const Ipv4Address& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
           std::to_string(address[2]) + "." + std::to_string(address[3]);
}

}  // namespace platform
