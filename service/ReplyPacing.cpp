#include "service/ReplyPacing.h"

#include <sys/socket.h>

#include "platform/Clock.h"
#include "service/OperatorEvents.h"
#include "service/RequestHandOver.h"

namespace {

// A broken connection drops the rest of the reply; its next read finds out
// and releases it.
void SendNextPiece(ServiceState& state, ClientSession& session) {
    OutgoingReply& reply = *session.reply;
    const uint64_t sentBefore = reply.BytesSent();
    // Pieces go once a millisecond: the time the socket takes to copy one
    // counts toward the next one's wait.
    const PacingClock::time_point offered = PacingClock::now();
    const OutgoingReply::Outcome outcome = reply.SendPiece(session.socket.Descriptor());
    if (reply.BytesSent() != sentBefore) {
        session.replyMovedAt = platform::TimeGetTime();
        LogSent(session, reply.BytesSent() - sentBefore);
    }
    if (outcome == OutgoingReply::Outcome::PieceSent)
        session.nextPieceAt = offered + kPieceInterval;
    if (outcome == OutgoingReply::Outcome::NeedsData) {
        HandOverForData(state, session);
    } else if (outcome == OutgoingReply::Outcome::Unreadable) {
        // The headset has part of a reply the file cannot finish: only the
        // connection's end tells it so, and it asks again on a new one. The
        // next read finds the end and releases the session.
        (void)shutdown(session.socket.Descriptor(), SHUT_RDWR);
        session.reply.reset();
    } else if (outcome == OutgoingReply::Outcome::Failed || reply.Finished()) {
        session.reply.reset();
    }
}

}  // namespace

void SendWhenDue(ServiceState& state, ClientSession& session) {
    if (session.reply && PacingClock::now() >= session.nextPieceAt)
        SendNextPiece(state, session);
}
