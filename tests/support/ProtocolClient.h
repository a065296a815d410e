#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/bsMemWrite.h"
#include "platform/Ipv4SocketAddress.h"
#include "tools/headset/HeadsetConnection.h"

// What the tests need of a headset beyond what the headset tool's own
// connection, requests and reply parsers (tools/headset) give them.
namespace protocol_client {

// A headset connected to the service on loopback; one whose exchanges all
// fail when nobody listens there.
inline headset::HeadsetConnection Connect(int timeoutMs = 5000) {
    std::string error;
    std::optional<headset::HeadsetConnection> opened =
        headset::HeadsetConnection::Open("127.0.0.1", 23107, timeoutMs, error);
    return opened ? std::move(*opened) : headset::HeadsetConnection(platform::Socket{}, timeoutMs);
}

// A headset that never reads: its receive buffer is made tiny before it
// connects, when the buffer still decides the window offered to the server,
// so that the server's sends to it soon block.
inline headset::HeadsetConnection ConnectWithTinyReceiveBuffer() {
    platform::Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int size = 4096;
    setsockopt(socket.Descriptor(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    if (platform::ConnectIpv4(socket.Descriptor(), INADDR_LOOPBACK, 23107) != 0)
        socket.Close();
    return headset::HeadsetConnection(std::move(socket), 5000);
}

// The payload of the next reply, padding included, or nothing.
inline std::optional<std::vector<uint8_t>> ReadReply(headset::HeadsetConnection& connection) {
    std::vector<uint8_t> payload;
    std::string error;
    if (!connection.ReadReply(payload, error))
        return std::nullopt;
    return payload;
}

inline std::optional<std::vector<uint8_t>> Exchange(headset::HeadsetConnection& connection,
                                                    const std::vector<uint8_t>& request) {
    std::string error;
    return connection.Send(request, error) ? ReadReply(connection) : std::nullopt;
}

// True when nothing at all arrives within the wait.
inline bool NothingArrives(int socket, int waitMs) {
    pollfd entry{socket, POLLIN, 0};
    return poll(&entry, 1, waitMs) == 0;
}

// A request of 32-bit values, for those the tool never sends: short,
// unknown or out of range.
inline std::vector<uint8_t> Request(std::initializer_list<int32_t> values) {
    bsMemWrite writer;
    for (int32_t value : values)
        writer.Serialize(value);
    return writer.Buffer();
}

// A reply taken apart by one of the tool's parsers; a missing reply, or one
// the parser finds fault with, fails the test.
template <typename Reply, typename Payload>
Reply Parsed(std::string (*parse)(Payload, Reply&),
             const std::optional<std::vector<uint8_t>>& payload) {
    Reply reply;
    EXPECT_TRUE(payload) << "no reply";
    if (payload) {
        EXPECT_EQ(parse(*payload, reply), "");
    }
    return reply;
}

}  // namespace protocol_client
