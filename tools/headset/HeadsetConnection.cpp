#include "tools/headset/HeadsetConnection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/Ipv4SocketAddress.h"
#include "protocol/ReplyFrame.h"

namespace headset {
namespace {

// A frame longer than this is taken for garbage rather than allocated: the
// largest reply carries 256 MiB of chunks and a few hundred KiB besides.
constexpr uint32_t kMaxReplyBytes = 272u * 1048576;

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool WaitFor(int descriptor, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd entry{descriptor, events, 0};
        const int ready = poll(&entry, 1, MillisecondsLeft(deadline));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

std::string Endpoint(const std::string& host, uint16_t port) {
    return host + ":" + std::to_string(port);
}

std::string ConnectFailure(const std::string& host, uint16_t port, int error) {
    if (error == ECONNREFUSED)
        return "connection to " + Endpoint(host, port) + " refused: no server listens there";
    if (error == ETIMEDOUT)
        return Endpoint(host, port) + " did not answer in time";
    return "cannot reach " + Endpoint(host, port) + ": " + std::strerror(error);
}

bool NothingThere(int error) {
    return error == ECONNREFUSED || error == EHOSTUNREACH || error == ENETUNREACH;
}

}  // namespace

std::optional<uint32_t> ResolveHost(const std::string& host, std::string& error) {
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) == 1)
        return address.s_addr;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* results = nullptr;
    const int failure = getaddrinfo(host.c_str(), nullptr, &hints, &results);
    if (failure != 0 || results == nullptr) {
        error = "cannot resolve host " + host + ": " + gai_strerror(failure);
        return std::nullopt;
    }
    const uint32_t resolved = reinterpret_cast<sockaddr_in*>(results->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(results);
    return resolved;
}

std::optional<HeadsetConnection> HeadsetConnection::Open(const std::string& host, uint16_t port,
                                                         int timeoutMs, std::string& error,
                                                         bool* nothingThere) {
    bool unused = false;
    bool& absent = nothingThere ? *nothingThere : unused;
    const std::optional<uint32_t> address = ResolveHost(host, error);
    absent = !address;
    if (!address)
        return std::nullopt;
    platform::Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.IsValid()) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return std::nullopt;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (platform::ConnectIpv4(socket.Descriptor(), ntohl(*address), port) != 0) {
        if (errno != EINPROGRESS) {
            absent = NothingThere(errno);
            error = ConnectFailure(host, port, errno);
            return std::nullopt;
        }
        if (!WaitFor(socket.Descriptor(), POLLOUT, deadline)) {
            error = ConnectFailure(host, port, ETIMEDOUT);
            return std::nullopt;
        }
        int failure = 0;
        socklen_t length = sizeof failure;
        getsockopt(socket.Descriptor(), SOL_SOCKET, SO_ERROR, &failure, &length);
        if (failure != 0) {
            absent = NothingThere(failure);
            error = ConnectFailure(host, port, failure);
            return std::nullopt;
        }
    }
    const int on = 1;
    setsockopt(socket.Descriptor(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return HeadsetConnection(std::move(socket), timeoutMs);
}

bool HeadsetConnection::Send(const std::vector<uint8_t>& request, std::string& error) {
    // The server takes whatever one receive delivers as one request, so the
    // request must leave in one piece.
    const ssize_t sent = send(socket_.Descriptor(), request.data(), request.size(), MSG_NOSIGNAL);
    if (sent != static_cast<ssize_t>(request.size())) {
        error = std::string("cannot send the request: ") +
                (sent < 0 ? std::strerror(errno) : "only part of it left");
        return false;
    }
    return true;
}

bool HeadsetConnection::ReadReply(std::vector<uint8_t>& payload, std::string& error) {
    uint32_t length = 0;
    if (!ReadExactly(reinterpret_cast<uint8_t*>(&length), sizeof length, error))
        return false;
    if (!FillsWholeFrames(length) || length > kMaxReplyBytes) {
        error = "malformed reply: a frame length of " + std::to_string(length);
        return false;
    }
    payload.resize(length);
    return ReadExactly(payload.data(), payload.size(), error);
}

bool HeadsetConnection::ReadExactly(uint8_t* data, size_t count, std::string& error) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs_);
    size_t got = 0;
    while (got < count) {
        // Never blocks, also on a socket it was given in blocking mode.
        const ssize_t received = recv(socket_.Descriptor(), data + got, count - got, MSG_DONTWAIT);
        if (received > 0) {
            got += static_cast<size_t>(received);
            continue;
        }
        if (received == 0) {
            error = "the server closed the connection " +
                    (got == 0 ? std::string("before replying")
                              : "in the middle of a reply (" + std::to_string(got) + " of " +
                                    std::to_string(count) + " bytes)");
            return false;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            error = std::string("connection lost: ") + std::strerror(errno);
            return false;
        }
        if (!WaitFor(socket_.Descriptor(), POLLIN, deadline)) {
            error = "no reply within " + std::to_string(timeoutMs_ / 1000) + " s";
            return false;
        }
    }
    return true;
}

}  // namespace headset
