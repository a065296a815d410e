#include <gtest/gtest.h>

#include "tools/headset/DecodeTimeline.h"

using headset::DecodeTimeline;

// Decoding times must rise and never come after their picture, for the
// reordering that B-frame pyramids produce.
TEST(DecodeTimeline, RisesAndNeverPassesThePresentationTime) {
    // Presentation times in decoding order: I P B b b P B b b ..., 40 apart.
    const std::vector<int64_t> pyramid = {0,   160, 80,  40,  120, 320, 240,
                                          200, 280, 480, 400, 360, 440, 520};
    DecodeTimeline timeline;
    int64_t previous = INT64_MIN;
    for (int64_t pts : pyramid) {
        const int64_t dts = timeline.Next(pts, 40);
        EXPECT_LE(dts, pts);
        EXPECT_GT(dts, previous);
        previous = dts;
    }
}

TEST(DecodeTimeline, WithoutReorderingRunsAFixedDistanceBehind) {
    DecodeTimeline timeline;
    const int64_t first = timeline.Next(1000, 40);
    for (int64_t i = 1; i < 20; ++i)
        EXPECT_EQ(timeline.Next(1000 + 40 * i, 40), first + 40 * i);
    EXPECT_LE(first, 1000);
}
