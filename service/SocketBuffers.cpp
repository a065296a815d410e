#include "service/SocketBuffers.h"

#include <sys/socket.h>

#include <algorithm>
#include <optional>

namespace {

bool SetIntOption(int descriptor, int name, int value) {
    return setsockopt(descriptor, SOL_SOCKET, name, &value, sizeof value) == 0;
}

void EnlargeBuffer(int descriptor, int name, int forcedName, platform::BufferDirection direction) {
    int current = 0;
    socklen_t length = sizeof current;
    (void)getsockopt(descriptor, SOL_SOCKET, name, &current, &length);
    const int wanted = std::max(current, kMinSocketBufferBytes);
    if (SetIntOption(descriptor, forcedName, wanted))
        return;
    const std::optional<platform::SocketBufferLimits> limits =
        platform::ReadSocketBufferLimits(direction);
    if (limits && !PlainRequestBeatsAutotuning(wanted, *limits))
        return;
    (void)SetIntOption(descriptor, name, wanted);
}

}  // namespace

bool PlainRequestBeatsAutotuning(int64_t wanted, const platform::SocketBufferLimits& limits) {
    // The kernel books twice what it grants, and tunes in booked bytes.
    const int64_t booked = 2 * std::min(wanted, limits.requestCap);
    return booked > limits.autotuneMax;
}

void EnlargeSocketBuffers(int descriptor) {
    EnlargeBuffer(descriptor, SO_RCVBUF, SO_RCVBUFFORCE, platform::BufferDirection::Receive);
    EnlargeBuffer(descriptor, SO_SNDBUF, SO_SNDBUFFORCE, platform::BufferDirection::Send);
}
