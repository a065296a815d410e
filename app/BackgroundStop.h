#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <thread>

#include "platform/ThreadAnnotations.h"

class QObject;

// A service stop on a thread of its own: the stop waits for the service's
// threads, and one of them may be waiting for a disk that spins up or a
// share that no longer answers; the window keeps answering meanwhile. Once
// the stop is over, `stopped` runs on `window`'s thread, through its event
// queue (not at all when the window has gone).
class BackgroundStop {
public:
    BackgroundStop(QObject* window, std::function<void()> stop, std::function<void()> stopped);
    // Waits for the stop.
    ~BackgroundStop();
    BackgroundStop(const BackgroundStop&) = delete;
    BackgroundStop& operator=(const BackgroundStop&) = delete;

    // Waits at most `limit` for the stop to be over; false when it is not.
    bool WaitFor(std::chrono::milliseconds limit) EXCLUDES(mutex_);

private:
    void MarkOver() EXCLUDES(mutex_);

    platform::Mutex mutex_;
    std::condition_variable over_;
    bool done_ GUARDED_BY(mutex_) = false;
    std::thread thread_;
};
