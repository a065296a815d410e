#include "platform/Clock.h"

#include <atomic>
#include <chrono>

namespace platform {
namespace {

uint32_t SteadyMilliseconds() {
    const auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch);
    return static_cast<uint32_t>(milliseconds.count());
}

std::atomic<ClockSource> clockSource{nullptr};
std::atomic<uint32_t> processStartTime{SteadyMilliseconds()};

}  // namespace

uint32_t TimeGetTime() {
    const ClockSource source = clockSource.load(std::memory_order_acquire);
    return source != nullptr ? source() : SteadyMilliseconds();
}

uint32_t ProcessStartTime() {
    return processStartTime.load(std::memory_order_relaxed);
}

void SetClockSource(ClockSource source) {
    clockSource.store(source, std::memory_order_release);
}

void SetProcessStartTime(uint32_t stamp) {
    processStartTime.store(stamp, std::memory_order_relaxed);
}

}  // namespace platform
