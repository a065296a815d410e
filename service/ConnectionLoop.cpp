#include "service/ConnectionLoop.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <vector>

#include "archive/bsMemRead.h"
#include "platform/Clock.h"
#include "platform/Ipv4SocketAddress.h"
#include "platform/Sleep.h"
#include "protocol/ProtocolLimits.h"
#include "protocol/ServiceConstants.h"
#include "service/HandleRequest.h"
#include "service/OperatorEvents.h"
#include "service/ServiceState.h"
#include "service/SocketBuffers.h"

namespace {

using PacingClock = std::chrono::steady_clock;

constexpr uint32_t kAnnouncementPeriodMs = 1000;
constexpr auto kLongestWait = std::chrono::milliseconds(10);
constexpr size_t kMaxWatchedSockets = 64;
// One receive more than the longest request tells a longer one apart.
constexpr size_t kReceiveBufferSize = kMaxRequestBytes + 1;
// The nearest whole seconds to a first probe after 5.5 s idle and probes
// every 3 s, with the probe count Windows uses.
constexpr int kKeepAliveIdleSeconds = 6;
constexpr int kKeepAliveIntervalSeconds = 3;
constexpr int kKeepAliveProbes = 10;
// A headset whose reply has not moved for this long has stopped reading.
constexpr uint32_t kStalledReplyMs = 10000;
// The least time between two pieces of replies on one connection.
constexpr auto kPieceInterval = std::chrono::milliseconds(1);

void BroadcastAnnouncement(ServiceState& state) {
    const sockaddr_in destination = platform::Ipv4SocketAddress(INADDR_BROADCAST, discoveryPort);
    for (size_t i = 0; i < state.discoverySockets.size(); ++i) {
        const platform::Socket& socket = state.discoverySockets[i];
        if (!socket.IsValid())
            continue;
        // Each socket tells its own network first where the service is.
        const std::vector<uint8_t>& datagram = i < state.discoveryAnnouncements.size()
                                                   ? state.discoveryAnnouncements[i]
                                                   : state.announcement.Buffer();
        (void)sendto(socket.Descriptor(), datagram.data(), datagram.size(), MSG_NOSIGNAL,
                     reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    }
}

void AnnounceWhenDue(ServiceState& state) {
    if (static_cast<uint32_t>(platform::TimeGetTime() - state.lastBroadcast) <=
        kAnnouncementPeriodMs) {
        return;
    }
    BroadcastAnnouncement(state);
    state.lastBroadcast = platform::TimeGetTime();
}

// The bytes of all replies not yet sent, kept up to date through a pass.
struct ReplyRoom {
    size_t held = 0;
    size_t largestReply = 0;  // that any request may get

    bool FitsAnyReply() const { return held + largestReply <= kReplyBudget; }
};

// A request in hand counts with the largest reply it may get, which is
// not known before its handler is done.
ReplyRoom MeasureReplyRoom(const ServiceState& state) {
    ReplyRoom room{.largestReply = LargestReplyOfAny(state.catalogue)};
    for (const std::unique_ptr<ClientSession>& session : state.sessions) {
        if (!session)
            continue;
        if (session->requestInHand)
            room.held += session->replyRoomKept;
        else if (session->reply)
            room.held += session->reply->HeldBytes();
    }
    return room;
}

// What one pass waits for: the sockets, and for each the session it belongs
// to (none for a listener), and how long until the next piece of a reply is
// due. The media threads' wake-up comes last, beside the sockets.
struct WatchList {
    std::vector<pollfd> sockets;
    std::vector<ClientSession*> sessions;
    PacingClock::duration wait = kLongestWait;

    void Add(int descriptor, short events, ClientSession* session) {
        sockets.push_back(pollfd{descriptor, events, 0});
        sessions.push_back(session);
    }
    bool Full() const { return sockets.size() >= kMaxWatchedSockets; }
    void AddWakeUp(int descriptor) { Add(descriptor, POLLIN, nullptr); }
};

// Watches a session for room for the next piece of its reply, or, while
// the pacing holds that piece back, for nothing but the wait ending: the
// piece goes when the pass is over. A session without a reply is watched
// for its next request while the replies held leave room for its reply.
void WatchSession(ClientSession& session, const ReplyRoom& room, PacingClock::time_point now,
                  WatchList& watch) {
    const int descriptor = session.socket.Descriptor();
    if (session.requestInHand)
        return;
    if (session.reply) {
        if (now >= session.nextPieceAt) {
            watch.Add(descriptor, POLLOUT, &session);
            return;
        }
        watch.wait = std::min(watch.wait, session.nextPieceAt - now);
        watch.Add(descriptor, 0, &session);
        return;
    }
    if (room.FitsAnyReply())
        watch.Add(descriptor, POLLIN, &session);
}

// Listening sockets first, then the sessions from firstSessionToWatch on,
// wrapping around, at most 64 in all. The next pass starts just after the
// last session this one looked at: otherwise a connection behind 63 others
// that merely stay open would never be watched, and never served. Sessions
// whose request is in hand are not watched at all.
WatchList BuildWatchList(ServiceState& state, const ReplyRoom& room, PacingClock::time_point now) {
    WatchList watch;
    watch.sockets.reserve(kMaxWatchedSockets);
    watch.sessions.reserve(kMaxWatchedSockets);
    for (const platform::Socket& socket : state.listenSockets) {
        if (socket.IsValid() && !watch.Full())
            watch.Add(socket.Descriptor(), POLLIN, nullptr);
    }
    const size_t count = state.sessions.size();
    if (count == 0)
        return watch;
    const size_t first = state.firstSessionToWatch % count;
    size_t looked = 0;
    for (; looked < count && !watch.Full(); ++looked) {
        ClientSession* session = state.sessions[(first + looked) % count].get();
        if (session != nullptr && session->socket.IsValid())
            WatchSession(*session, room, now, watch);
    }
    state.firstSessionToWatch = (first + looked) % count;
    return watch;
}

int WaitForSockets(WatchList& watch) {
    const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(watch.wait);
    const timespec timeout{static_cast<time_t>(wait.count() / 1000000000),
                           static_cast<long>(wait.count() % 1000000000)};
    return ppoll(watch.sockets.data(), watch.sockets.size(), &timeout, nullptr);
}

bool IsReady(const pollfd& entry) {
    return (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

bool IsTransientReceiveError(int error) {
    return error == EINTR || error == EAGAIN || error == EWOULDBLOCK;
}

// Hands the session to a media thread to bring the file bytes its reply
// sends next into memory; the loop sends on once it has them.
void HandOverForData(ServiceState& state, ClientSession& session) {
    session.requestInHand = true;
    session.replyRoomKept = session.reply->HeldBytes();
    state.mediaWorkers.Run([&state, &session] {
        session.reply->BringInData();
        state.handledRequests.Add(session);
    });
}

// Offers the next piece of the session's reply, and lets the one after it go
// no sooner than the pacing allows. A broken connection drops the rest of the
// reply; its next read finds out and releases it.
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

void SendWhenDue(ServiceState& state, ClientSession& session) {
    if (session.reply && PacingClock::now() >= session.nextPieceAt)
        SendNextPiece(state, session);
}

// The request goes to a media thread with the session, which comes back to
// the loop through handledRequests once the reply is queued on it.
void HandOver(ServiceState& state, ClientSession& session, std::vector<uint8_t> request,
              ReplyRoom& room) {
    session.requestInHand = true;
    session.replyRoomKept = LargestReplyFor(request, state.catalogue);
    room.held += session.replyRoomKept;
    state.mediaWorkers.Run([&state, &session, request = std::move(request)] {
        bsMemRead reader(request.data(), request.size());
        HandleRequest(reader, session, state.catalogue);
        state.handledRequests.Add(session);
    });
}

enum class SessionOutcome { Keep, Release };

SessionOutcome ServeRequest(ServiceState& state, ClientSession& session, ReplyRoom& room) {
    uint8_t buffer[kReceiveBufferSize];
    const ssize_t received = recv(session.socket.Descriptor(), buffer, sizeof buffer, 0);
    if (received > 0 && static_cast<size_t>(received) < kReceiveBufferSize) {
        HandOver(state, session, std::vector<uint8_t>(buffer, buffer + received), room);
        return SessionOutcome::Keep;
    }
    if (received == static_cast<ssize_t>(kReceiveBufferSize))
        return SessionOutcome::Keep;
    // A reset or timed-out connection stays readable for ever; keeping it
    // would make every pass return at once and spin the worker.
    if (received != 0 && IsTransientReceiveError(errno))
        return SessionOutcome::Keep;
    LogReleased(session, ReleaseReasonOf(received, errno));
    return SessionOutcome::Release;
}

// Reads the session's next request and hands it to a media thread, if the
// replies held leave room for its reply.
SessionOutcome ServeReadableSession(ServiceState& state, ClientSession& session, ReplyRoom& room) {
    if (!room.FitsAnyReply())
        return SessionOutcome::Keep;
    return ServeRequest(state, session, room);
}

// Sessions whose handler is done are the loop's again; the reply's first
// piece goes at once if its pacing allows.
void TakeHandledRequests(ServiceState& state) {
    for (ClientSession* session : state.handledRequests.Take()) {
        session->requestInHand = false;
        session->replyRoomKept = 0;
        SendWhenDue(state, *session);
    }
}

// A released session's titles are let go on a media thread: closing the
// last reader of a file waits for the file's loader, which may be waiting
// for a disk.
void Release(ServiceState& state, std::unique_ptr<ClientSession> session) {
    state.mediaWorkers.Run([released = std::shared_ptr<ClientSession>(std::move(session))] {});
}

void ReleaseSessions(ServiceState& state, const std::vector<ClientSession*>& released) {
    if (released.empty())
        return;
    std::erase_if(state.sessions, [&](std::unique_ptr<ClientSession>& session) {
        if (std::find(released.begin(), released.end(), session.get()) == released.end())
            return false;
        Release(state, std::move(session));
        return true;
    });
}

// A session with a reply gets its next piece when it is due, whether the
// socket said it has room or the piece fell due while the pass waited; any
// other session that is readable gets its next request served.
void ServeWatchedSessions(ServiceState& state, const WatchList& watch, ReplyRoom& room) {
    std::vector<ClientSession*> released;
    for (size_t i = 0; i < watch.sockets.size(); ++i) {
        ClientSession* session = watch.sessions[i];
        if (session == nullptr)
            continue;
        if (session->reply) {
            const pollfd& entry = watch.sockets[i];
            if (entry.events == 0 || (entry.revents & (POLLOUT | POLLERR | POLLHUP)) != 0)
                SendWhenDue(state, *session);
            continue;
        }
        if (IsReady(watch.sockets[i]) &&
            ServeReadableSession(state, *session, room) == SessionOutcome::Release) {
            released.push_back(session);
        }
    }
    ReleaseSessions(state, released);
}

// What a stalled headset got ends in the middle of a reply, so the
// connection can never be read in step again: end it and release it.
void ReleaseStalledSessions(ServiceState& state) {
    const uint32_t now = platform::TimeGetTime();
    std::erase_if(state.sessions, [&](std::unique_ptr<ClientSession>& session) {
        if (!session || session->requestInHand || !session->reply ||
            static_cast<uint32_t>(now - session->replyMovedAt) <= kStalledReplyMs) {
            return false;
        }
        (void)shutdown(session->socket.Descriptor(), SHUT_RDWR);
        LogReleased(*session, ReleaseReason::Stalled);
        Release(state, std::move(session));
        return true;
    });
}

bool SetIntOption(int descriptor, int level, int name, int value) {
    return setsockopt(descriptor, level, name, &value, sizeof value) == 0;
}

bool EnableKeepAlive(int descriptor) {
    return SetIntOption(descriptor, SOL_SOCKET, SO_KEEPALIVE, 1) &&
           SetIntOption(descriptor, IPPROTO_TCP, TCP_KEEPIDLE, kKeepAliveIdleSeconds) &&
           SetIntOption(descriptor, IPPROTO_TCP, TCP_KEEPINTVL, kKeepAliveIntervalSeconds) &&
           SetIntOption(descriptor, IPPROTO_TCP, TCP_KEEPCNT, kKeepAliveProbes);
}

enum class AcceptOutcome { Continue, EndPass };

AcceptOutcome AcceptConnection(ServiceState& state, const platform::Socket& listener) {
    uint8_t peer[128] = {};
    socklen_t peerLength = sizeof peer;
    platform::Socket connection(accept4(listener.Descriptor(), reinterpret_cast<sockaddr*>(peer),
                                        &peerLength, SOCK_CLOEXEC));
    if (!connection.IsValid())
        return AcceptOutcome::Continue;
    const int descriptor = connection.Descriptor();
    if (!EnableKeepAlive(descriptor))
        return AcceptOutcome::EndPass;  // closes the connection
    EnlargeSocketBuffers(descriptor);
    (void)SetIntOption(descriptor, IPPROTO_TCP, TCP_NODELAY, 1);
    state.sessions.push_back(std::make_unique<ClientSession>(
        std::move(connection), &state.stopRequested, &state.packagedFiles));
    LogConnected(*state.sessions.back(), reinterpret_cast<const sockaddr*>(peer), peerLength,
                 &state.headsets);
    return AcceptOutcome::Continue;
}

void AcceptReadyConnections(ServiceState& state, const WatchList& watch) {
    for (size_t i = 0; i < watch.sockets.size(); ++i) {
        if (watch.sessions[i] != nullptr || !IsReady(watch.sockets[i]))
            continue;
        const auto listener = std::find_if(state.listenSockets.begin(), state.listenSockets.end(),
                                           [&](const platform::Socket& socket) {
                                               return socket.Descriptor() == watch.sockets[i].fd;
                                           });
        if (listener != state.listenSockets.end() &&
            AcceptConnection(state, *listener) == AcceptOutcome::EndPass) {
            return;
        }
    }
}

}  // namespace

void PollOnce(ServiceState& state) {
    if (state.listenSockets.empty())
        return;
    AnnounceWhenDue(state);
    TakeHandledRequests(state);
    ReleaseStalledSessions(state);
    ReplyRoom room = MeasureReplyRoom(state);
    WatchList watch = BuildWatchList(state, room, PacingClock::now());
    watch.AddWakeUp(state.handledRequests.WakeDescriptor());
    if (WaitForSockets(watch) < 0)
        return;
    ServeWatchedSessions(state, watch, room);
    AcceptReadyConnections(state, watch);
}

void WorkerThreadProc(ServiceState& state) {
    state.workerRunning = true;
    platform::UsePreciseSleeps();
    while (!state.stopRequested) {
        PollOnce(state);
        // Without a listener a pass neither waits nor serves anything; pause
        // instead of spinning a core until the service is stopped.
        if (state.listenSockets.empty())
            platform::Sleep(static_cast<uint32_t>(kLongestWait.count()));
    }
    state.workerRunning = false;
}
