#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "platform/ThreadAnnotations.h"
#include "platform/WakeEvent.h"

// The library as a reading of its folders found it: the titles in the
// folders' order, and the files left out beyond the title limit.
struct ReadLibrary {
    std::shared_ptr<const Catalogue> titles;
    std::vector<std::wstring> beyondLimit;
};

// Libraries read again while the service runs, on their way from the thread
// that follows the folders to the connection loop, which offers them at its
// next pass. Only the newest waits: a reading replaces one not yet taken.
class LibraryUpdates {
public:
    void Offer(ReadLibrary library) EXCLUDES(mutex_);
    std::optional<ReadLibrary> Take() EXCLUDES(mutex_);
    // Readable while a library waits to be taken.
    int WakeDescriptor() const { return wake_.Descriptor(); }

private:
    platform::Mutex mutex_;
    std::optional<ReadLibrary> waiting_ GUARDED_BY(mutex_);
    // Whether `waiting_` holds a library, so that the loop's pass costs no
    // lock and no read of the wake event while none does.
    std::atomic<bool> anyWaiting_{false};
    platform::WakeEvent wake_;
};
