#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "catalogue/FramePool.h"
#include "catalogue/TitleReaders.h"

// The first file is read alone; once `more` names a count, that many read
// together, and every file is delivered once, in order.
TEST(TitleReaders, TheFirstFileIsReadAloneThenAsManyAsNamed) {
    struct Case {
        size_t wanted;  // what `more` names after the first file
        size_t together;
    };
    for (const Case c : {Case{3, 3}, Case{1, 1}, Case{64, 11}}) {
        constexpr size_t kFiles = 12;
        std::mutex mutex;
        std::condition_variable changed;
        size_t reading = 0;
        size_t most = 0;
        size_t mostDuringFirst = 0;
        // The files just after the first wait, up to a bound, until as many
        // readers as expected read at once, so that the count shows; with
        // 64 wanted, only the 11 files left can be read together.
        const ReadOne readOne = [&](size_t file, FramePool&) {
            std::unique_lock lock(mutex);
            ++reading;
            most = std::max(most, reading);
            if (file == 0)
                mostDuringFirst = reading;
            changed.notify_all();
            if (file > 0 && file <= c.together)
                changed.wait_for(lock, std::chrono::seconds(5),
                                 [&] { return reading >= c.together; });
            --reading;
            return TitleRead{SkipReason{SkipKind::Missing, {}}, {}};
        };
        size_t asked = 0;
        const ReaderCount readers{1, [&](const TitleRead&) {
                                      ++asked;
                                      return std::optional<size_t>(c.wanted);
                                  }};
        std::vector<size_t> delivered;
        EXPECT_TRUE(ReadTitlesInOrder(kFiles, readers, nullptr, readOne,
                                      [&](size_t file, TitleRead&) { delivered.push_back(file); },
                                      {}));
        EXPECT_EQ(mostDuringFirst, 1u) << c.wanted;
        EXPECT_EQ(most, c.together) << c.wanted;
        EXPECT_EQ(asked, 1u) << c.wanted;
        ASSERT_EQ(delivered.size(), kFiles);
        EXPECT_TRUE(std::is_sorted(delivered.begin(), delivered.end()));
    }
}
