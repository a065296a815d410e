#pragma once

#include <cstdint>

namespace platform {

// Milliseconds from a monotonic clock, cut to 32 bits. The count wraps after
// about 49.7 days, so callers compare stamps by unsigned 32-bit difference.
uint32_t TimeGetTime();

// The TimeGetTime value taken once, when the process started.
uint32_t ProcessStartTime();

// Tests replace the clock with a function of their own; nullptr restores the
// real clock. The source is read atomically, so a worker thread may call
// TimeGetTime while a test installs a source before starting it.
using ClockSource = uint32_t (*)();
void SetClockSource(ClockSource source);
void SetProcessStartTime(uint32_t stamp);

}  // namespace platform
