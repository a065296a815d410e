#include "service/RequestHandOver.h"

#include "archive/bsMemRead.h"
#include "platform/Clock.h"
#include "service/HandleRequest.h"
#include "service/ReplyPacing.h"
#include "service/SessionRelease.h"

namespace {

void RunOnMediaThread(ServiceState& state, ClientSession& session, MediaWorkers::Job job) {
    session.requestInHand = true;
    state.mediaWorkers.Run(std::move(job), [&state, &session] {
        session.requestFailed = true;
        state.handledRequests.Add(session);
    });
}

}  // namespace

void HandOverRequest(ServiceState& state, ClientSession& session, std::vector<uint8_t> request,
                     ReplyRoom& room) {
    if (IsKnownRequest(request)) {
        session.hasAsked = true;
        session.lastAskedAt = platform::TimeGetTime();
    }
    session.replyRoomKept = LargestReplyFor(request, *state.catalogue);
    room.held += session.replyRoomKept;
    // The catalogue as it is now, kept alive for the job also when the loop
    // offers a new one meanwhile.
    RunOnMediaThread(state, session,
                     [&state, &session, catalogue = state.catalogue, request = std::move(request)] {
                         bsMemRead reader(request.data(), request.size());
                         HandleRequest(reader, session, *catalogue);
                         state.handledRequests.Add(session);
                     });
}

void HandOverForData(ServiceState& state, ClientSession& session) {
    session.replyRoomKept = session.reply->HeldBytes();
    RunOnMediaThread(state, session, [&state, &session] {
        session.reply->BringInData();
        state.handledRequests.Add(session);
    });
}

void TakeHandledRequests(ServiceState& state) {
    std::vector<SessionToRelease> failed;
    for (ClientSession* session : state.handledRequests.Take()) {
        session->requestInHand = false;
        session->replyRoomKept = 0;
        if (session->requestFailed)
            failed.push_back({session, ReleaseReason::Failed});
        else
            SendWhenDue(state, *session);
    }
    ReleaseSessions(state, failed);
}
