#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "archive/bsMemRead.h"
#include "archive/bsMemWrite.h"
#include "platform/Socket.h"

// A minimal headset: connects, sends requests as single writes and reads the
// framed replies, never waiting longer than a deadline.
namespace protocol_client {

// Connects to address:port; with a receive buffer size, that buffer is set
// before connecting, when it still decides the window offered to the server.
inline platform::Socket Connect(const char* address, uint16_t port,
                                std::optional<int> receiveBuffer = std::nullopt) {
    platform::Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (receiveBuffer) {
        setsockopt(socket.Descriptor(), SOL_SOCKET, SO_RCVBUF, &*receiveBuffer,
                   sizeof *receiveBuffer);
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    inet_pton(AF_INET, address, &target.sin_addr);
    if (connect(socket.Descriptor(), reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
        return platform::Socket{};
    }
    return socket;
}

// A headset that never reads: its receive buffer is made tiny before it
// connects, so the server's sends to it soon block.
inline platform::Socket ConnectWithTinyReceiveBuffer(const char* address, uint16_t port) {
    return Connect(address, port, 4096);
}

inline bool SendAll(int socket, const std::vector<uint8_t>& bytes) {
    size_t offset = 0;
    while (offset < bytes.size()) {
        const ssize_t sent =
            send(socket, bytes.data() + offset, bytes.size() - offset, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        offset += static_cast<size_t>(sent);
    }
    return true;
}

// Reads exactly `count` bytes unless the deadline passes or the peer closes.
inline bool ReadExactly(int socket, uint8_t* data, size_t count, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t got = 0;
    while (got < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            return false;
        pollfd entry{socket, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left)) <= 0)
            return false;
        const ssize_t received = recv(socket, data + got, count - got, 0);
        if (received <= 0)
            return false;
        got += static_cast<size_t>(received);
    }
    return true;
}

// One framed reply: the payload (padding included), or nothing on time-out.
inline std::optional<std::vector<uint8_t>> ReadReply(int socket, int timeoutMs = 5000) {
    uint8_t lengthBytes[4];
    if (!ReadExactly(socket, lengthBytes, 4, timeoutMs))
        return std::nullopt;
    uint32_t length = 0;
    std::memcpy(&length, lengthBytes, 4);
    std::vector<uint8_t> payload(length);
    if (!ReadExactly(socket, payload.data(), payload.size(), timeoutMs))
        return std::nullopt;
    return payload;
}

// True when nothing at all arrives within the wait.
inline bool NothingArrives(int socket, int waitMs) {
    pollfd entry{socket, POLLIN, 0};
    return poll(&entry, 1, waitMs) == 0;
}

// A request of 32-bit values, as the headset writes most of them.
inline std::vector<uint8_t> Request(std::initializer_list<int32_t> values) {
    bsMemWrite writer;
    for (int32_t value : values)
        writer.Serialize(value);
    return writer.Buffer();
}

// Reads fields of a reply in order.
class ReplyFields {
public:
    explicit ReplyFields(const std::vector<uint8_t>& payload)
        : reader_(payload.data(), payload.size()) {}
    int32_t I32() {
        int32_t value = INT32_MIN;
        reader_.Serialize(value);
        return value;
    }
    uint32_t U32() {
        uint32_t value = 0;
        reader_.Serialize(value);
        return value;
    }
    int64_t I64() {
        int64_t value = INT64_MIN;
        reader_.Serialize(value);
        return value;
    }
    uint64_t U64() {
        uint64_t value = 0;
        reader_.Serialize(value);
        return value;
    }
    std::vector<uint8_t> Bytes(size_t count) {
        std::vector<uint8_t> bytes(count);
        if (count > 0)
            reader_.SerializeBytes(bytes.data(), count);
        return bytes;
    }
    std::string Text(size_t count) {
        const std::vector<uint8_t> bytes = Bytes(count);
        return std::string(bytes.begin(), bytes.end());
    }
    uint64_t Position() { return reader_.Tell(); }

private:
    bsMemRead reader_;
};

}  // namespace protocol_client
