#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "platform/Sleep.h"
#include "support/FakeClock.h"

TEST(Clock, RealClockAdvancesWithSleep) {
    const uint32_t before = platform::TimeGetTime();
    platform::Sleep(20);
    const uint32_t elapsed = platform::TimeGetTime() - before;
    EXPECT_GE(elapsed, 15u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(Clock, FakeClockReplacesAndRestores) {
    {
        FakeClock clock(0xFFFFFFF0u, 7);
        EXPECT_EQ(platform::TimeGetTime(), 0xFFFFFFF0u);
        EXPECT_EQ(platform::ProcessStartTime(), 7u);
        clock.Advance(0x20);
        // The count wraps like a 32-bit millisecond timer; differences survive.
        EXPECT_EQ(platform::TimeGetTime(), 0x10u);
        EXPECT_EQ(static_cast<uint32_t>(platform::TimeGetTime() - 0xFFFFFFF0u), 0x20u);
    }
    const uint32_t a = platform::TimeGetTime();
    platform::Sleep(5);
    const uint32_t elapsed = platform::TimeGetTime() - a;
    EXPECT_GE(elapsed, 4u);
    EXPECT_LT(elapsed, 5000u);
}
