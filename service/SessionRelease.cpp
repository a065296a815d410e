#include "service/SessionRelease.h"

#include <algorithm>
#include <memory>

namespace {

const SessionToRelease* Find(const std::vector<SessionToRelease>& released,
                             const ClientSession* session) {
    const auto found =
        std::find_if(released.begin(), released.end(),
                     [&](const SessionToRelease& r) { return r.session == session; });
    return found != released.end() ? &*found : nullptr;
}

// A session with no title open and no reply is only a socket and a little
// memory: it goes at once, so that its descriptor is free for the next accept.
void Free(ServiceState& state, std::unique_ptr<ClientSession> session) {
    if (!session->packaged && !session->media && !session->reply)
        return;
    // Without a thread for it, the job goes here, on the loop.
    state.mediaWorkers.Run([released = std::shared_ptr<ClientSession>(std::move(session))] {});
}

}  // namespace

void ReleaseSessions(ServiceState& state, const std::vector<SessionToRelease>& released) {
    if (released.empty())
        return;
    std::erase_if(state.sessions, [&](std::unique_ptr<ClientSession>& session) {
        const SessionToRelease* release = Find(released, session.get());
        if (release == nullptr)
            return false;
        state.watched.Forget(session->socket.Descriptor());
        LogReleased(*session, release->reason);
        if (release->reason != ReleaseReason::MadeRoom)
            state.shortage.listenersPaused = false;
        Free(state, std::move(session));
        return true;
    });
}
