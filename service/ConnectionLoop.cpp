#include "service/ConnectionLoop.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "archive/bsMemRead.h"
#include "platform/Clock.h"
#include "platform/Sleep.h"
#include "protocol/ServiceConstants.h"
#include "service/HandleRequest.h"
#include "service/OperatorEvents.h"
#include "service/ServiceState.h"
#include "service/SocketBuffers.h"

namespace {

constexpr uint32_t kAnnouncementPeriodMs = 1000;
constexpr int kPollTimeoutMs = 10;
constexpr size_t kMaxWatchedSockets = 64;
constexpr size_t kReceiveBufferSize = 8192;
// The nearest whole seconds to a first probe after 5.5 s idle and probes
// every 3 s, with the probe count Windows uses.
constexpr int kKeepAliveIdleSeconds = 6;
constexpr int kKeepAliveIntervalSeconds = 3;
constexpr int kKeepAliveProbes = 10;
// A headset that stops reading must not hold the only worker thread hostage.
constexpr int kSendTimeoutSeconds = 10;

void BroadcastAnnouncement(ServiceState& state) {
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(discoveryPort);
    destination.sin_addr.s_addr = htonl(INADDR_BROADCAST);
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

// Listening sockets first, then the sessions from firstSessionToWatch on,
// wrapping around, at most 64 in all. The next pass starts just after the
// last session this one watched: otherwise a connection behind 63 others that
// merely stay open would never be watched, and never served.
std::vector<pollfd> BuildWatchList(ServiceState& state) {
    std::vector<pollfd> watched;
    watched.reserve(kMaxWatchedSockets);
    auto watch = [&](int descriptor) {
        if (descriptor < 0 || watched.size() >= kMaxWatchedSockets)
            return;
        const bool known = std::any_of(watched.begin(), watched.end(),
                                       [&](const pollfd& entry) { return entry.fd == descriptor; });
        if (!known)
            watched.push_back(pollfd{descriptor, POLLIN, 0});
    };
    for (const platform::Socket& socket : state.listenSockets)
        watch(socket.Descriptor());
    const size_t count = state.sessions.size();
    if (count == 0)
        return watched;
    const size_t first = state.firstSessionToWatch % count;
    size_t looked = 0;
    for (; looked < count && watched.size() < kMaxWatchedSockets; ++looked) {
        const std::unique_ptr<ClientSession>& session = state.sessions[(first + looked) % count];
        if (session)
            watch(session->socket.Descriptor());
    }
    state.firstSessionToWatch = (first + looked) % count;
    return watched;
}

bool IsReady(const std::vector<pollfd>& watched, int descriptor) {
    if (descriptor < 0)
        return false;
    return std::any_of(watched.begin(), watched.end(), [&](const pollfd& entry) {
        return entry.fd == descriptor && (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    });
}

bool IsTransientReceiveError(int error) {
    return error == EINTR || error == EAGAIN || error == EWOULDBLOCK;
}

enum class SessionOutcome { Keep, Release };

SessionOutcome ServeSession(ClientSession& session, Catalogue& catalogue) {
    uint8_t buffer[kReceiveBufferSize] = {};
    const ssize_t received = recv(session.socket.Descriptor(), buffer, sizeof buffer, 0);
    if (received > 0 && static_cast<size_t>(received) < kReceiveBufferSize) {
        bsMemRead request(buffer, static_cast<uint64_t>(received));
        HandleRequest(request, session, catalogue);
        return SessionOutcome::Keep;
    }
    if (received == static_cast<ssize_t>(kReceiveBufferSize))
        return SessionOutcome::Keep;
    // A reset or timed-out connection stays readable for ever; keeping it
    // would make every pass return at once and spin the worker.
    if (received != 0 && IsTransientReceiveError(errno))
        return SessionOutcome::Keep;
    LogReleased(session, ReleaseReasonOf(session, received, errno));
    return SessionOutcome::Release;
}

void ServeReadySessions(ServiceState& state, const std::vector<pollfd>& watched) {
    size_t index = 0;
    while (index < state.sessions.size()) {
        ClientSession* session = state.sessions[index].get();
        if (session == nullptr || !IsReady(watched, session->socket.Descriptor())) {
            ++index;
            continue;
        }
        if (ServeSession(*session, state.catalogue) == SessionOutcome::Keep) {
            ++index;
            continue;
        }
        // The next session moves into this place and is looked at in turn.
        state.sessions.erase(state.sessions.begin() + static_cast<std::ptrdiff_t>(index));
    }
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

void SetSendTimeout(int descriptor) {
    timeval timeout{};
    timeout.tv_sec = kSendTimeoutSeconds;
    (void)setsockopt(descriptor, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
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
    SetSendTimeout(descriptor);
    (void)SetIntOption(descriptor, IPPROTO_TCP, TCP_NODELAY, 1);
    state.sessions.push_back(
        std::make_unique<ClientSession>(std::move(connection), &state.stopRequested));
    LogConnected(*state.sessions.back(), reinterpret_cast<const sockaddr*>(peer), peerLength);
    return AcceptOutcome::Continue;
}

void AcceptReadyConnections(ServiceState& state, const std::vector<pollfd>& watched) {
    for (size_t index = 0; index < state.listenSockets.size(); ++index) {
        const platform::Socket& listener = state.listenSockets[index];
        if (!IsReady(watched, listener.Descriptor()))
            continue;
        if (AcceptConnection(state, listener) == AcceptOutcome::EndPass)
            return;
    }
}

}  // namespace

void PollOnce(ServiceState& state) {
    if (state.listenSockets.empty())
        return;
    AnnounceWhenDue(state);
    std::vector<pollfd> watched = BuildWatchList(state);
    const int ready = poll(watched.data(), watched.size(), kPollTimeoutMs);
    if (ready <= 0)
        return;
    ServeReadySessions(state, watched);
    AcceptReadyConnections(state, watched);
}

void WorkerThreadProc(ServiceState& state) {
    state.workerRunning = true;
    platform::UsePreciseSleeps();
    while (!state.stopRequested) {
        PollOnce(state);
        // Without a listener a pass neither waits nor serves anything; pause
        // instead of spinning a core until the service is stopped.
        if (state.listenSockets.empty())
            platform::Sleep(kPollTimeoutMs);
    }
    state.workerRunning = false;
}
