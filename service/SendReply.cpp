#include "service/SendReply.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/Sleep.h"
#include "protocol/ReplyFrame.h"

namespace {

constexpr size_t kMaxPiece = 400000;

void PadToFrameUnit(std::vector<uint8_t>& payload) {
    payload.resize(payload.size() + ReplyPaddingFor(payload.size()), 0);
}

constexpr int kSendTimeoutMs = 10000;
constexpr int kStopCheckMs = 50;

struct Sender {
    int socket;
    const std::atomic<bool>* stop;
    SendCall sendCall;

    bool Stopped() const { return stop != nullptr && stop->load(); }
};

// One send, as a blocking send would do it, but waiting for room in slices so
// that a stop is noticed at once and a headset that stopped reading gives up
// after 10 s. Returns what send returned, or -1 when it gave up.
ssize_t SendPiece(const Sender& sender, const uint8_t* data, size_t count) {
    const int socket = sender.socket;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kSendTimeoutMs);
    while (true) {
        const ssize_t sent = sender.sendCall(socket, data, count, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0)
            return sent;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return -1;
        if (sender.Stopped())
            return -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            // The headset has stopped reading. What it has got so far ends in
            // the middle of a reply, so the connection can never be read in
            // step again: end it, and the loop releases the session.
            (void)shutdown(socket, SHUT_RDWR);
            return -1;
        }
        pollfd entry{socket, POLLOUT, 0};
        (void)poll(&entry, 1, kStopCheckMs);
    }
}

// Sends `count` bytes in pieces of at most 400000, each resumed where a
// partial send left it; with `paced`, 1 ms passes after every piece. False
// when a send failed, gave up or a stop came.
bool SendInPieces(const Sender& sender, const uint8_t* data, size_t count, bool paced) {
    size_t offset = 0;
    while (offset < count) {
        const size_t piece = std::min(count - offset, kMaxPiece);
        const ssize_t sent = SendPiece(sender, data + offset, piece);
        if (sent <= 0)
            return false;
        offset += static_cast<size_t>(sent);
        if (paced)
            platform::Sleep(1);
        // A stop must not wait for the rest of a long reply.
        if (sender.Stopped())
            return false;
    }
    return true;
}

}  // namespace

void SendReply(int socket, std::vector<uint8_t>& payload, const std::atomic<bool>* stop,
               SendCall sendCall) {
    PadToFrameUnit(payload);
    const Sender sender{socket, stop, sendCall};
    const auto length = static_cast<uint32_t>(payload.size());
    const uint8_t lengthBytes[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                                    static_cast<uint8_t>(length >> 16),
                                    static_cast<uint8_t>(length >> 24)};
    // A length cut short would leave the headset out of step for good.
    if (!SendInPieces(sender, lengthBytes, sizeof lengthBytes, false))
        return;
    (void)SendInPieces(sender, payload.data(), payload.size(), true);
}
