#include "service/SilentConnections.h"

#include <vector>

#include "platform/Clock.h"
#include "service/SessionRelease.h"

namespace {

// The loop alone may look: a session in hand is its media thread's.
bool IsIdle(const ClientSession& session) {
    return !session.requestInHand && !session.reply;
}

uint32_t SilentFor(const ClientSession& session, uint32_t now) {
    return now - (session.hasAsked ? session.lastAskedAt : session.acceptedAt);
}

}  // namespace

void ReleaseSilentSessions(ServiceState& state) {
    const uint32_t now = platform::TimeGetTime();
    std::vector<SessionToRelease> silent;
    for (const std::unique_ptr<ClientSession>& session : state.sessions) {
        if (IsIdle(*session) && !session->hasAsked &&
            SilentFor(*session, now) >= kFirstRequestWaitMs) {
            silent.push_back({session.get(), ReleaseReason::Silent});
        }
    }
    ReleaseSessions(state, silent);
}

ClientSession* LongestSilentWithoutTitle(const ServiceState& state) {
    const uint32_t now = platform::TimeGetTime();
    ClientSession* quietest = nullptr;
    for (const std::unique_ptr<ClientSession>& session : state.sessions) {
        if (!IsIdle(*session) || session->packaged || session->media)
            continue;
        if (quietest == nullptr || SilentFor(*session, now) > SilentFor(*quietest, now))
            quietest = session.get();
    }
    return quietest;
}
