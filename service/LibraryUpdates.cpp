#include "service/LibraryUpdates.h"

#include <utility>

void LibraryUpdates::Offer(ReadLibrary library) {
    {
        platform::MutexLock lock(mutex_);
        waiting_ = std::move(library);
    }
    wake_.Signal();
}

std::optional<ReadLibrary> LibraryUpdates::Take() {
    platform::MutexLock lock(mutex_);
    // Drained under the lock: a library offered after it is taken now or
    // signals again.
    wake_.Drain();
    return std::exchange(waiting_, std::nullopt);
}
