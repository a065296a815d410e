#include "service/ConnectionAccepting.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/Clock.h"
#include "service/DescriptorShortage.h"
#include "service/OperatorEvents.h"
#include "service/SocketBuffers.h"

namespace {

// The nearest whole seconds to a first probe after 5.5 s idle and probes
// every 3 s, with the probe count Windows uses.
constexpr int kKeepAliveIdleSeconds = 6;
constexpr int kKeepAliveIntervalSeconds = 3;
constexpr int kKeepAliveProbes = 10;

bool SetIntOption(int descriptor, int level, int name, int value) {
    return setsockopt(descriptor, level, name, &value, sizeof value) == 0;
}

bool EnableKeepAlive(int descriptor) {
    return SetIntOption(descriptor, SOL_SOCKET, SO_KEEPALIVE, 1) &&
           SetIntOption(descriptor, IPPROTO_TCP, TCP_KEEPIDLE, kKeepAliveIdleSeconds) &&
           SetIntOption(descriptor, IPPROTO_TCP, TCP_KEEPINTVL, kKeepAliveIntervalSeconds) &&
           SetIntOption(descriptor, IPPROTO_TCP, TCP_KEEPCNT, kKeepAliveProbes);
}

// What runs out when connections flood in: the process's descriptors, the
// system's, or the kernel's memory for sockets.
bool IsShortage(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

enum class AcceptOutcome { Accepted, NoneWaiting, Shortage, EndPass };

// `error` says why when no connection was accepted.
AcceptOutcome AcceptConnection(ServiceState& state, const platform::Socket& listener, int& error) {
    uint8_t peer[128] = {};
    socklen_t peerLength = sizeof peer;
    platform::Socket connection(accept4(listener.Descriptor(), reinterpret_cast<sockaddr*>(peer),
                                        &peerLength, SOCK_CLOEXEC));
    if (!connection.IsValid()) {
        error = errno;
        return IsShortage(error) ? AcceptOutcome::Shortage : AcceptOutcome::NoneWaiting;
    }
    const int descriptor = connection.Descriptor();
    if (!EnableKeepAlive(descriptor))
        return AcceptOutcome::EndPass;  // closes the connection
    EnlargeSocketBuffers(descriptor);
    (void)SetIntOption(descriptor, IPPROTO_TCP, TCP_NODELAY, 1);
    auto session = std::make_unique<ClientSession>(std::move(connection), &state.stopRequested,
                                                   &state.packagedFiles);
    session->acceptedAt = platform::TimeGetTime();
    state.sessions.push_back(std::move(session));
    LogConnected(*state.sessions.back(), reinterpret_cast<const sockaddr*>(peer), peerLength,
                 &state.headsets);
    return AcceptOutcome::Accepted;
}

// Accepts from a ready listener, making room first at the cap, and again
// when accept finds no descriptor. False when the pass must end there.
bool AcceptFrom(ServiceState& state, const platform::Socket& listener) {
    bool madeRoom = false;
    if (state.sessions.size() >= state.sessionCap) {
        if (!MakeRoomForConnection(state, 0))
            return false;
        madeRoom = true;
    }
    int error = 0;
    AcceptOutcome outcome = AcceptConnection(state, listener, error);
    if (outcome == AcceptOutcome::Shortage) {
        if (!MakeRoomForConnection(state, error))
            return false;
        madeRoom = true;
        // The descriptor just freed is the newcomer's.
        outcome = AcceptConnection(state, listener, error);
    }
    if (outcome == AcceptOutcome::Accepted && !madeRoom)
        EndDescriptorShortage(state);
    return outcome != AcceptOutcome::EndPass;
}

}  // namespace

void WatchListeners(ServiceState& state) {
    const uint32_t events = ListenersPaused(state) ? 0u : uint32_t{EPOLLIN};
    for (const platform::Socket& listener : state.listenSockets) {
        if (listener.IsValid())
            (void)state.watched.Watch(listener.Descriptor(), events);
    }
}

void AcceptReadyConnections(ServiceState& state) {
    for (const platform::Socket& listener : state.listenSockets) {
        if (!listener.IsValid() || state.watched.ReadyEvents(listener.Descriptor()) == 0)
            continue;
        if (!AcceptFrom(state, listener))
            return;
    }
}
