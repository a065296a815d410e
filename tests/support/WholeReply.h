#pragma once

#include <poll.h>

#include "service/ClientSession.h"

// Sends the reply a handler queued on the session to its end, waiting for
// room as a blocking send would and without the service's pacing, for code
// that calls the handlers with no connection loop. True when there was
// nothing to send or all of it went; false when the connection failed or
// had no room for `timeoutMs`.
inline bool SendWholeReply(ClientSession& session, int timeoutMs = 10000) {
    while (session.reply && !session.reply->Finished()) {
        const int socket = session.socket.Descriptor();
        const OutgoingReply::Outcome outcome = session.reply->SendPiece(socket);
        if (outcome == OutgoingReply::Outcome::Failed)
            break;
        if (outcome == OutgoingReply::Outcome::NeedsData)
            session.reply->BringInData();
        pollfd entry{socket, POLLOUT, 0};
        if (outcome == OutgoingReply::Outcome::NoRoom && poll(&entry, 1, timeoutMs) <= 0)
            break;
    }
    const bool sent = !session.reply || session.reply->Finished();
    session.reply.reset();
    return sent;
}
