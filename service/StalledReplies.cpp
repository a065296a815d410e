#include "service/StalledReplies.h"

#include <sys/socket.h>

#include <vector>

#include "platform/Clock.h"
#include "service/SessionRelease.h"

void ReleaseStalledSessions(ServiceState& state) {
    const uint32_t now = platform::TimeGetTime();
    std::vector<SessionToRelease> stalled;
    for (const std::unique_ptr<ClientSession>& session : state.sessions) {
        if (session->requestInHand || !session->reply ||
            static_cast<uint32_t>(now - session->replyMovedAt) <= kStalledReplyMs) {
            continue;
        }
        (void)shutdown(session->socket.Descriptor(), SHUT_RDWR);
        stalled.push_back({session.get(), ReleaseReason::Stalled});
    }
    ReleaseSessions(state, stalled);
}
