#include "app/BackgroundStop.h"

#include "app/PostToWindow.h"

#include <utility>

BackgroundStop::BackgroundStop(QObject* window, std::function<void()> stop,
                               std::function<void()> stopped) {
    thread_ = std::thread([this, window, stop = std::move(stop), stopped = std::move(stopped)] {
        stop();
        MarkOver();
        PostToWindow(window, stopped);
    });
}

BackgroundStop::~BackgroundStop() {
    thread_.join();
}

void BackgroundStop::MarkOver() {
    {
        platform::MutexLock lock(mutex_);
        done_ = true;
    }
    over_.notify_all();
}

bool BackgroundStop::WaitFor(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    platform::MutexLock lock(mutex_);
    while (!done_) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return false;
        (void)lock.WaitFor(over_, deadline - now);
    }
    return true;
}
