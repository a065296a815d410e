#include "service/ReplyBudget.h"

#include "service/HandleRequest.h"

ReplyRoom MeasureReplyRoom(const ServiceState& state) {
    ReplyRoom room{.budget = state.replyBudgetBytes,
                   .largestReply = LargestReplyOfAny(*state.catalogue)};
    for (const std::unique_ptr<ClientSession>& session : state.sessions) {
        if (session->requestInHand)
            room.held += session->replyRoomKept;
        else if (session->reply)
            room.held += session->reply->HeldBytes();
    }
    return room;
}
