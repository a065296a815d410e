#include "service/Endpoints.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/Ipv4SocketAddress.h"
#include "protocol/ServiceConstants.h"

namespace {

bool Bind(const platform::Socket& socket, const platform::Ipv4Address& address, uint16_t port) {
    return platform::BindIpv4(socket.Descriptor(), platform::HostOrderAddress(address), port) == 0;
}

std::string SystemError(const char* call) {
    return std::string(call) + ": " + std::strerror(errno);
}

// The report's first line for `address` without a discovery outcome yet; a
// new line when the listeners' lookup did not return the address.
AddressReport& ReportFor(StartReport& report, const platform::Ipv4Address& address) {
    for (AddressReport& line : report.addresses) {
        if (line.address == address && !line.discovery)
            return line;
    }
    report.addresses.push_back({address, std::nullopt, std::nullopt});
    return report.addresses.back();
}

void SetIntOption(const platform::Socket& socket, int level, int name, int value) {
    (void)setsockopt(socket.Descriptor(), level, name, &value, sizeof value);
}

// The discovery datagram for `addresses`, the first of them in the place
// headsets read.
void WriteAnnouncement(bsMemWrite& datagram, const std::vector<platform::Ipv4Address>& addresses,
                       size_t titles) {
    datagram.Clear(32);

    uint64_t magic = ANNOUNCE_MAGIC;
    datagram.Serialize(magic);
    // Without any address, a fixed private address keeps the layout intact.
    platform::Ipv4Address first{192, 168, 0, 2};
    if (!addresses.empty())
        first = addresses.front();
    for (uint8_t& byte : first)
        datagram.Serialize(byte);

    int32_t port = servicePort;
    int32_t titleCount = static_cast<int32_t>(titles);
    int32_t furtherCount = static_cast<int32_t>(addresses.size()) - 1;
    datagram.Serialize(port).Serialize(titleCount).Serialize(furtherCount);
    for (size_t i = 1; i < addresses.size(); ++i) {
        platform::Ipv4Address further = addresses[i];
        for (uint8_t& byte : further)
            datagram.Serialize(byte);
    }
}

}  // namespace

bool OpenListenSockets(ServiceState& state, const std::vector<platform::Ipv4Address>& addresses,
                       StartReport& report) {
    for (const platform::Ipv4Address& address : addresses) {
        platform::Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
        if (!socket.IsValid()) {
            report.socketError = SystemError("socket");
            return false;
        }
        state.localAddresses.push_back(address);
        AddressReport& line = report.addresses.emplace_back();
        line.address = address;
        EndpointOutcome& listener = line.listener.emplace();
        // Lets a restarted service listen again while connections of the last
        // run linger in TIME_WAIT, as the port can be reused on Windows.
        SetIntOption(socket, SOL_SOCKET, SO_REUSEADDR, 1);
        if (!Bind(socket, address, servicePort)) {
            listener.error = SystemError("bind");
            continue;
        }
        if (listen(socket.Descriptor(), SOMAXCONN) != 0) {
            listener.error = SystemError("listen");
            continue;
        }
        listener.opened = true;
        state.listenSockets.push_back(std::move(socket));
    }
    return true;
}

bool OpenDiscoverySockets(ServiceState& state, const std::vector<platform::Ipv4Address>& addresses,
                          StartReport& report) {
    for (const platform::Ipv4Address& address : addresses) {
        platform::Socket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP));
        if (!socket.IsValid()) {
            report.socketError = SystemError("socket");
            return false;
        }
        EndpointOutcome& discovery = ReportFor(report, address).discovery.emplace();
        SetIntOption(socket, SOL_SOCKET, SO_BROADCAST, 1);
        if (!Bind(socket, address, discoveryLocalPort)) {
            discovery.error = SystemError("bind");
            continue;
        }
        discovery.opened = true;
        state.discoverySockets.push_back(std::move(socket));
        state.discoveryAddresses.push_back(address);
    }
    return true;
}

void BuildAnnouncement(ServiceState& state) {
    const size_t titles = state.catalogue->size();
    WriteAnnouncement(state.announcement, state.localAddresses, titles);

    state.discoveryAnnouncements.clear();
    for (size_t i = 0; i < state.discoveryAddresses.size(); ++i) {
        // The socket's own address first, the others after it in lookup
        // order. An address the first lookup did not return (the interfaces
        // changed in between) leaves the order as it is.
        std::vector<platform::Ipv4Address> ordered = state.localAddresses;
        const auto own = std::find(ordered.begin(), ordered.end(), state.discoveryAddresses[i]);
        std::rotate(ordered.begin(), own, own == ordered.end() ? own : own + 1);
        bsMemWrite datagram;
        WriteAnnouncement(datagram, ordered, titles);
        state.discoveryAnnouncements.push_back(datagram.Buffer());
    }
}
