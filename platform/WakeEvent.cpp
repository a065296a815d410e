#include "platform/WakeEvent.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace platform {

WakeEvent::WakeEvent() : descriptor_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeEvent::~WakeEvent() {
    if (descriptor_ >= 0)
        close(descriptor_);
}

// A full counter (after 2^64 - 2 signals nobody drained) still wakes the
// poll, so a failed write needs no handling.
void WakeEvent::Signal() {
    const uint64_t one = 1;
    (void)!write(descriptor_, &one, sizeof one);
}

void WakeEvent::Drain() {
    uint64_t count = 0;
    (void)!read(descriptor_, &count, sizeof count);
}

}  // namespace platform
