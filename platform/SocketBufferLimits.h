#pragma once

#include <cstdint>
#include <optional>

namespace platform {

// What the kernel lets an unprivileged program have for one direction of a
// TCP socket's buffer, in bytes as the program asks for them.
struct SocketBufferLimits {
    // The most a plain SO_RCVBUF or SO_SNDBUF request is granted (the kernel
    // then books twice that, and stops tuning the buffer itself).
    int64_t requestCap = 0;
    // The most the kernel's own tuning grows a buffer nobody set to.
    int64_t autotuneMax = 0;
};

enum class BufferDirection { Receive, Send };

// Read from the kernel's settings; nothing when they cannot be read.
std::optional<SocketBufferLimits> ReadSocketBufferLimits(BufferDirection direction);

}  // namespace platform
