#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

#include "platform/LocalAddresses.h"

namespace platform {

// An IPv4 address and port as the socket calls take them. `hostOrderAddress`
// is written as the INADDR_ constants are (0x7F000001 for 127.0.0.1).
inline sockaddr_in Ipv4SocketAddress(uint32_t hostOrderAddress, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(hostOrderAddress);
    return address;
}

inline uint32_t HostOrderAddress(const Ipv4Address& a) {
    return uint32_t{a[0]} << 24 | uint32_t{a[1]} << 16 | uint32_t{a[2]} << 8 | a[3];
}
inline int BindIpv4(int socket, uint32_t hostOrderAddress, uint16_t port) {
    const sockaddr_in address = Ipv4SocketAddress(hostOrderAddress, port);
    return bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}
inline int ConnectIpv4(int socket, uint32_t hostOrderAddress, uint16_t port) {
    const sockaddr_in address = Ipv4SocketAddress(hostOrderAddress, port);
    return connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

}  // namespace platform
