#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Socket.h"

namespace headset {

// One TCP connection to a server, used the way a headset uses it: one
// request, then its whole reply, never waiting longer than the time-out.
class HeadsetConnection {
public:
    // Connects to host:port; on failure says why in `error`, and sets
    // `nothingThere` (when given) if no server can be there at all: the
    // connection was refused, or the host cannot be found or reached. A
    // time-out leaves it false, since a busy server may answer later.
    static std::optional<HeadsetConnection> Open(const std::string& host, uint16_t port,
                                                 int timeoutMs, std::string& error,
                                                 bool* nothingThere = nullptr);

    // A socket that is connected already, such as one end of a socket pair.
    HeadsetConnection(platform::Socket socket, int timeoutMs)
        : socket_(std::move(socket)), timeoutMs_(timeoutMs) {}

    // Sends the request in one write and reads the framed reply's payload,
    // padding included. False with `error` set on a failed send, a time-out,
    // a closed connection or a malformed frame.
    bool Exchange(const std::vector<uint8_t>& request, std::vector<uint8_t>& payload,
                  std::string& error) {
        return Send(request, error) && ReadReply(payload, error);
    }
    // The two halves of an exchange.
    bool Send(const std::vector<uint8_t>& request, std::string& error);
    bool ReadReply(std::vector<uint8_t>& payload, std::string& error);
    // Reads `count` bytes of whatever comes, within the time-out.
    bool ReadExactly(uint8_t* data, size_t count, std::string& error);

    void SetTimeout(int timeoutMs) { timeoutMs_ = timeoutMs; }
    int Descriptor() const { return socket_.Descriptor(); }
    void Close() { socket_.Close(); }

private:
    platform::Socket socket_;
    int timeoutMs_;
};

// The address of host (a dotted address or a name), or nothing with `error`.
std::optional<uint32_t> ResolveHost(const std::string& host, std::string& error);

}  // namespace headset
