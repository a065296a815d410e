#include "service/RequestReading.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "protocol/ProtocolLimits.h"
#include "service/RequestHandOver.h"

namespace {

// One receive more than the longest request tells a longer one apart.
constexpr size_t kReceiveBufferSize = kMaxRequestBytes + 1;

bool IsTransientReceiveError(int error) {
    return error == EINTR || error == EAGAIN || error == EWOULDBLOCK;
}

}  // namespace

std::optional<ReleaseReason> ReadRequest(ServiceState& state, ClientSession& session,
                                         ReplyRoom& room) {
    if (!room.FitsAnyReply())
        return std::nullopt;
    uint8_t buffer[kReceiveBufferSize];
    const ssize_t received = recv(session.socket.Descriptor(), buffer, sizeof buffer, 0);
    if (received > 0 && static_cast<size_t>(received) < kReceiveBufferSize) {
        HandOverRequest(state, session, std::vector<uint8_t>(buffer, buffer + received), room);
        return std::nullopt;
    }
    if (received == static_cast<ssize_t>(kReceiveBufferSize))
        return std::nullopt;
    // A reset or timed-out connection stays readable for ever; keeping it
    // would make every pass return at once and spin the worker.
    if (received != 0 && IsTransientReceiveError(errno))
        return std::nullopt;
    return ReleaseReasonOf(received, errno);
}
