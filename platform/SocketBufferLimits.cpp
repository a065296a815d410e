#include "platform/SocketBufferLimits.h"

#include <fstream>

namespace platform {
namespace {

// The last of the numbers in a settings file ("min default max" for the TCP
// buffer sizes, a single number for the caps).
std::optional<int64_t> LastNumberIn(const char* path) {
    std::ifstream in(path);
    int64_t number = 0;
    std::optional<int64_t> last;
    while (in >> number)
        last = number;
    return last;
}

}  // namespace

std::optional<SocketBufferLimits> ReadSocketBufferLimits(BufferDirection direction) {
    const bool receive = direction == BufferDirection::Receive;
    const auto cap =
        LastNumberIn(receive ? "/proc/sys/net/core/rmem_max" : "/proc/sys/net/core/wmem_max");
    const auto autotune =
        LastNumberIn(receive ? "/proc/sys/net/ipv4/tcp_rmem" : "/proc/sys/net/ipv4/tcp_wmem");
    if (!cap || !autotune)
        return std::nullopt;
    return SocketBufferLimits{*cap, *autotune};
}

}  // namespace platform
