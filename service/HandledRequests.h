#pragma once

#include <vector>

#include "platform/ThreadAnnotations.h"
#include "platform/WakeEvent.h"

struct ClientSession;

// Sessions whose request a media thread has handled, on their way back to
// the connection loop: the thread adds the session once the reply is queued
// on it, and wakes the loop, which takes the sessions at its next pass. The
// lock hands the session over: what the thread wrote is the loop's from then on.
class HandledRequests {
public:
    void Add(ClientSession& session) EXCLUDES(mutex_);
    std::vector<ClientSession*> Take() EXCLUDES(mutex_);
    // Readable while sessions wait to be taken.
    int WakeDescriptor() const { return wake_.Descriptor(); }

private:
    platform::Mutex mutex_;
    std::vector<ClientSession*> sessions_ GUARDED_BY(mutex_);
    platform::WakeEvent wake_;
};
