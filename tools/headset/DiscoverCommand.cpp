#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "platform/Ipv4SocketAddress.h"
#include "platform/Socket.h"
#include "protocol/ServiceConstants.h"
#include "tools/headset/Announcement.h"
#include "tools/headset/Commands.h"

namespace headset {
namespace {

constexpr const char* kName = "discover";

platform::Socket ListenForAnnouncements(std::string& error) {
    platform::Socket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    // Several listeners on one machine (a headset app, this tool) share the port.
    setsockopt(socket.Descriptor(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(socket.Descriptor(), SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    if (!socket.IsValid() ||
        platform::BindIpv4(socket.Descriptor(), INADDR_ANY, discoveryPort) != 0) {
        error = "cannot listen on UDP port " + std::to_string(discoveryPort) + ": " +
                std::strerror(errno);
        return platform::Socket{};
    }
    return socket;
}

std::string Sender(const sockaddr_in& from) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(from.sin_port));
}

void PrintServer(const Announcement& server, const std::string& sender) {
    std::string addresses;
    for (const Address& address : server.addresses)
        addresses += (addresses.empty() ? "" : ",") + FormatAddress(address);
    if (server.placeholderAddress)
        addresses = "none (placeholder " + addresses + ")";
    std::printf("server %s port %d titles %d addresses %s (from %s)\n",
                FormatAddress(server.addresses.front()).c_str(), server.port, server.titleCount,
                addresses.c_str(), sender.c_str());
    std::fflush(stdout);
}

}  // namespace

int RunDiscover(CommandArguments& arguments) {
    const double seconds = arguments.TakeNumber("--seconds", 0.1, 86400).value_or(3);
    const bool stopAtFirst = arguments.TakeFlag("--first");
    arguments.Positionals(0);
    if (arguments.Failed())
        return UsageError(kName, arguments.Error());

    std::string error;
    const platform::Socket socket = ListenForAnnouncements(error);
    if (!socket.IsValid())
        return Failure(kName, error);

    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
    std::set<std::string> heard;  // a server repeats itself every second
    size_t servers = 0;
    std::vector<uint8_t> datagram(65536);  // the largest a UDP datagram can be
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd entry{socket.Descriptor(), POLLIN, 0};
        if (left <= 0 || poll(&entry, 1, static_cast<int>(left)) <= 0)
            break;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t size = recvfrom(socket.Descriptor(), datagram.data(), datagram.size(), 0,
                                      reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (size < 0)
            continue;
        std::string key(reinterpret_cast<const char*>(datagram.data()), static_cast<size_t>(size));
        key.append(reinterpret_cast<const char*>(&from.sin_addr), sizeof from.sin_addr);
        if (!heard.insert(key).second)
            continue;
        Announcement server;
        const std::string problem =
            ParseAnnouncement(datagram.data(), static_cast<size_t>(size), server);
        if (!problem.empty()) {
            std::printf("malformed announcement from %s: %s\n", Sender(from).c_str(),
                        problem.c_str());
            std::fflush(stdout);
            continue;
        }
        PrintServer(server, Sender(from));
        ++servers;
        if (stopAtFirst)
            break;
    }
    if (servers == 0)
        return Failure(kName, "no server heard in " + std::to_string(seconds).substr(0, 4) + " s");
    return kExitSuccess;
}

}  // namespace headset
