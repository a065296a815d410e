#include "service/AnnouncementBroadcast.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/Clock.h"
#include "platform/Ipv4SocketAddress.h"
#include "protocol/ServiceConstants.h"

namespace {

constexpr uint32_t kAnnouncementPeriodMs = 1000;

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

}  // namespace

void AnnounceWhenDue(ServiceState& state) {
    if (static_cast<uint32_t>(platform::TimeGetTime() - state.lastBroadcast) <=
        kAnnouncementPeriodMs) {
        return;
    }
    BroadcastAnnouncement(state);
    state.lastBroadcast = platform::TimeGetTime();
}
