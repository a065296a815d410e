#include <gtest/gtest.h>

#include <optional>

#include "catalogue/ReaderChoice.h"

TEST(ReaderChoice, TakesAsManyReadersAsTheRoomHolds) {
    constexpr uint64_t kMiB = 1048576;
    struct Case {
        std::optional<uint64_t> room;
        uint64_t cost;
        size_t processors;
        size_t readers;
    };
    const Case cases[] = {
        {20000 * kMiB, 200 * kMiB, 2, 2},  // a desktop: the processors bound it
        {20000 * kMiB, 200 * kMiB, 16, 16},
        {400 * kMiB, 200 * kMiB, 4, 1},  // a 512 MiB cgroup: what is planned keeps a margin
        {480 * kMiB, 200 * kMiB, 4, 2},
        {100 * kMiB, 200 * kMiB, 4, 1},  // never fewer than one
        {0, 200 * kMiB, 4, 1},
        {std::nullopt, 200 * kMiB, 4, 4},  // no room known: by the processors
        {400 * kMiB, 0, 4, 4},             // nothing measured
        {400 * kMiB, 200 * kMiB, 0, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadersThatFit(c.room, c.cost, c.processors), c.readers)
            << c.room.value_or(0) / kMiB << " MiB free, " << c.cost / kMiB << " MiB a reader, "
            << c.processors << " processors";
    }
}
