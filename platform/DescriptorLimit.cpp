#include "platform/DescriptorLimit.h"

#include <sys/resource.h>

#include <limits>

namespace platform {
namespace {

size_t AsSize(rlim_t value) {
    if (value == RLIM_INFINITY || value > std::numeric_limits<size_t>::max())
        return std::numeric_limits<size_t>::max();
    return static_cast<size_t>(value);
}

}  // namespace

size_t RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return DescriptorLimit();
    if (limit.rlim_cur != limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        (void)setrlimit(RLIMIT_NOFILE, &limit);
    }
    return DescriptorLimit();
}

size_t DescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    return AsSize(limit.rlim_cur);
}

}  // namespace platform
