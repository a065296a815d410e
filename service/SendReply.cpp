#include "service/SendReply.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/Sleep.h"
#include "service/ServiceState.h"

namespace {

constexpr size_t kFrameUnit = 16;
constexpr size_t kMaxPiece = 400000;

void PadToFrameUnit(std::vector<uint8_t>& payload) {
    const size_t framed = payload.size() + 4;
    if (framed % kFrameUnit != 0)
        payload.resize(payload.size() + kFrameUnit - framed % kFrameUnit, 0);
}

constexpr int kSendTimeoutMs = 10000;
constexpr int kStopCheckMs = 50;

// One send, as a blocking send would do it, but waiting for room in slices so
// that a stop is noticed at once and a headset that stopped reading gives up
// after 10 s. Returns what send returned, or -1 when it gave up.
ssize_t SendPiece(int socket, const uint8_t* data, size_t count) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kSendTimeoutMs);
    while (true) {
        const ssize_t sent = send(socket, data, count, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0)
            return sent;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return -1;
        if (stopRequested)
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

}  // namespace

void SendReply(int socket, std::vector<uint8_t>& payload) {
    PadToFrameUnit(payload);
    const auto length = static_cast<uint32_t>(payload.size());
    const uint8_t lengthBytes[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                                    static_cast<uint8_t>(length >> 16),
                                    static_cast<uint8_t>(length >> 24)};
    (void)SendPiece(socket, lengthBytes, sizeof lengthBytes);

    size_t offset = 0;
    while (offset < payload.size()) {
        const size_t piece = std::min(payload.size() - offset, kMaxPiece);
        const ssize_t sent = SendPiece(socket, payload.data() + offset, piece);
        if (sent <= 0)
            return;
        offset += static_cast<size_t>(sent);
        platform::Sleep(1);
        // A stop must not wait for the rest of a long reply.
        if (stopRequested)
            return;
    }
}
