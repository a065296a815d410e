#pragma once

#include <atomic>
#include <cstdint>

#include "platform/Clock.h"

// Replaces the millisecond clock for the lifetime of the object. The time
// only moves when the test moves it.
class FakeClock {
public:
    explicit FakeClock(uint32_t now = 0, uint32_t processStart = 0) {
        Now() = now;
        platform::SetClockSource(&Read);
        platform::SetProcessStartTime(processStart);
    }
    ~FakeClock() {
        platform::SetClockSource(nullptr);
        platform::SetProcessStartTime(platform::TimeGetTime());
    }
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    void Set(uint32_t now) { Now() = now; }
    void Advance(uint32_t milliseconds) { Now() += milliseconds; }

private:
    static std::atomic<uint32_t>& Now() {
        static std::atomic<uint32_t> now{0};
        return now;
    }
    static uint32_t Read() { return Now().load(); }
};
