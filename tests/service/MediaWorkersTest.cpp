#include "service/MediaWorkers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <new>
#include <thread>

namespace {

bool NoThreadCanStart(std::thread&, std::function<void()>) {
    errno = EAGAIN;
    return false;
}

template <typename Condition>
bool Eventually(Condition condition) {
    for (int i = 0; i < 500 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return condition();
}

}  // namespace

// Running out of threads or memory fails the job it hits, through its
// failure handler, and nothing else: the workers go on.
TEST(MediaWorkers, AJobWithoutAThreadOrThatThrowsFailsAloneAndTheWorkersGoOn) {
    const struct {
        const char* name;
        bool threadStarts;
        bool threadAlreadyRunning;
        bool throws;
        bool ran, failed;
    } cases[] = {
        {"plain job", true, false, false, true, false},
        {"job throws", true, false, true, true, true},
        {"no thread at all", false, false, false, false, true},
        {"no new thread, one running", false, true, false, true, false},
    };
    for (const auto& c : cases) {
        MediaWorkers workers;
        std::atomic<bool> release{false};
        if (c.threadAlreadyRunning) {
            workers.Run([&] {
                while (!release)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            });
        }
        if (!c.threadStarts)
            workers.SetThreadStart(NoThreadCanStart);
        std::atomic<bool> ran{false}, failed{false};
        workers.Run(
            [&, throws = c.throws] {
                ran = true;
                if (throws)
                    throw std::bad_alloc();
            },
            [&] { failed = true; });
        release = true;
        EXPECT_TRUE(Eventually([&] { return ran || failed; })) << c.name;
        workers.Stop();
        EXPECT_EQ(ran, c.ran) << c.name;
        EXPECT_EQ(failed, c.failed) << c.name;

        workers.SetThreadStart(MediaWorkers::StartSystemThread);
        std::atomic<bool> after{false};
        workers.Run([&] { after = true; });
        EXPECT_TRUE(Eventually([&] { return after.load(); })) << c.name;
    }
}
