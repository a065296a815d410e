#include "service/SessionWatching.h"

#include <algorithm>
#include <vector>

#include "service/RequestReading.h"
#include "service/SessionRelease.h"

namespace {

uint32_t EventsFor(SessionWatch watch) {
    switch (watch) {
        case SessionWatch::Request:
            return EPOLLIN;
        case SessionWatch::Room:
            return EPOLLOUT;
        case SessionWatch::Nothing:
        case SessionWatch::PieceDue:
            return 0;
    }
    return 0;
}

SessionWatch ChooseWatch(const ClientSession& session, const ReplyRoom& room,
                         PacingClock::time_point now) {
    if (session.requestInHand)
        return SessionWatch::Nothing;
    if (session.reply)
        return now >= session.nextPieceAt ? SessionWatch::Room : SessionWatch::PieceDue;
    return room.FitsAnyReply() ? SessionWatch::Request : SessionWatch::Nothing;
}

bool HasPieceToSend(const ClientSession& session, uint32_t ready) {
    return session.watchedFor == SessionWatch::PieceDue ||
           (session.watchedFor == SessionWatch::Room && ready != 0);
}

bool HasRequestToRead(const ClientSession& session, uint32_t ready) {
    return session.watchedFor == SessionWatch::Request &&
           (ready & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0;
}

}  // namespace

PacingClock::duration WatchSessions(ServiceState& state, const ReplyRoom& room,
                                    PacingClock::time_point now) {
    PacingClock::duration wait = kLongestWait;
    for (const std::unique_ptr<ClientSession>& session : state.sessions) {
        SessionWatch watch = ChooseWatch(*session, room, now);
        if (watch == SessionWatch::PieceDue)
            wait = std::min(wait, PacingClock::duration(session->nextPieceAt - now));
        // Refused by the system (out of kernel memory): tried again next pass.
        if (!state.watched.Watch(session->socket.Descriptor(), EventsFor(watch)))
            watch = SessionWatch::Nothing;
        session->watchedFor = watch;
    }
    return wait;
}

void ServeReadySessions(ServiceState& state, ReplyRoom& room) {
    const size_t count = state.sessions.size();
    if (count == 0)
        return;
    const size_t first = state.firstSessionToServe++ % count;
    std::vector<SessionToRelease> released;
    for (size_t i = 0; i < count; ++i) {
        ClientSession& session = *state.sessions[(first + i) % count];
        const uint32_t ready = state.watched.ReadyEvents(session.socket.Descriptor());
        if (HasPieceToSend(session, ready)) {
            SendWhenDue(state, session);
        } else if (HasRequestToRead(session, ready)) {
            if (const auto reason = ReadRequest(state, session, room))
                released.push_back({&session, *reason});
        }
    }
    ReleaseSessions(state, released);
}
