#include "service/HandledRequests.h"

void HandledRequests::Add(ClientSession& session) {
    {
        platform::MutexLock lock(mutex_);
        sessions_.push_back(&session);
    }
    wake_.Signal();
}

std::vector<ClientSession*> HandledRequests::Take() {
    std::vector<ClientSession*> taken;
    platform::MutexLock lock(mutex_);
    // Drained under the lock: a session added after it is taken with it or
    // signals again.
    wake_.Drain();
    taken.swap(sessions_);
    return taken;
}
