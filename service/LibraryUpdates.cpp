#include "service/LibraryUpdates.h"

#include <utility>

void LibraryUpdates::Offer(ReadLibrary library) {
    platform::MutexLock lock(mutex_);
    waiting_ = std::move(library);
    anyWaiting_.store(true, std::memory_order_release);
    // Under the lock, so that a Take that finds nothing waiting never leaves
    // the event readable behind it.
    wake_.Signal();
}

std::optional<ReadLibrary> LibraryUpdates::Take() {
    if (!anyWaiting_.load(std::memory_order_acquire))
        return std::nullopt;
    platform::MutexLock lock(mutex_);
    anyWaiting_.store(false, std::memory_order_relaxed);
    // Drained under the lock: a library offered after it is taken now or
    // signals again.
    wake_.Drain();
    return std::exchange(waiting_, std::nullopt);
}
