#include <arpa/inet.h>
#include <poll.h>

#include <chrono>

#include "platform/Ipv4SocketAddress.h"
#include "service/Endpoints.h"
#include "service/ServiceFixture.h"

namespace {

// Listens where headsets listen for the announcement.
class DiscoveryListener {
public:
    DiscoveryListener() : socket_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        const int on = 1;
        setsockopt(socket_.Descriptor(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        platform::BindIpv4(socket_.Descriptor(), INADDR_ANY, 12450);
    }
    // One datagram and its source, or nothing within the wait.
    std::optional<std::pair<std::vector<uint8_t>, sockaddr_in>> Receive(int waitMs) {
        pollfd entry{socket_.Descriptor(), POLLIN, 0};
        if (poll(&entry, 1, waitMs) <= 0)
            return std::nullopt;
        std::vector<uint8_t> bytes(2048);
        sockaddr_in source{};
        socklen_t length = sizeof source;
        const ssize_t got = recvfrom(socket_.Descriptor(), bytes.data(), bytes.size(), 0,
                                     reinterpret_cast<sockaddr*>(&source), &length);
        if (got < 0)
            return std::nullopt;
        bytes.resize(static_cast<size_t>(got));
        return std::make_pair(bytes, source);
    }

private:
    platform::Socket socket_;
};

const std::vector<uint8_t> kMagic{0xD8, 0x46, 0x30, 0x36, 0x35, 0xDF, 0xFE, 0xD6};

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace

class AnnouncementTest : public ServiceTest {};

TEST_F(AnnouncementTest, OneAddressIsAnnouncedOnceASecond) {
    DiscoveryListener listener;
    StartOnLoopback(2);
    const auto first = listener.Receive(3000);
    ASSERT_TRUE(first);
    const auto firstTime = std::chrono::steady_clock::now();
    EXPECT_EQ(first->first,
              Concat({kMagic, {127, 0, 0, 1}, {0x43, 0x5A, 0, 0}, {2, 0, 0, 0}, {0, 0, 0, 0}}));
    EXPECT_EQ(ntohs(first->second.sin_port), 23307);

    const auto second = listener.Receive(3000);
    ASSERT_TRUE(second);
    const auto gap = std::chrono::steady_clock::now() - firstTime;
    EXPECT_GT(gap, std::chrono::milliseconds(900));
    EXPECT_LT(gap, std::chrono::milliseconds(1500));
    EXPECT_EQ(second->first, first->first);
}

TEST_F(AnnouncementTest, TwoAddressesGetTwoSendersAndA28ByteDatagram) {
    DiscoveryListener listener;
    StartOn({{127, 0, 0, 1}, {127, 0, 0, 2}}, {SmallMediaPath()});
    EXPECT_EQ(State().listenSockets.size(), 2u);
    EXPECT_EQ(State().discoverySockets.size(), 2u);

    auto datagramOf = [](std::vector<uint8_t> first, std::vector<uint8_t> further) {
        return Concat({kMagic, first, {0x43, 0x5A, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}, further});
    };
    EXPECT_EQ(State().announcement.Buffer(), datagramOf({127, 0, 0, 1}, {127, 0, 0, 2}));
    // Sent from each address in turn, first address first, each sender with
    // its own address where the headset reads it.
    const std::vector<std::pair<uint32_t, std::vector<uint8_t>>> expected{
        {0x7F000001u, datagramOf({127, 0, 0, 1}, {127, 0, 0, 2})},
        {0x7F000002u, datagramOf({127, 0, 0, 2}, {127, 0, 0, 1})}};
    for (const auto& [source, bytes] : expected) {
        const auto datagram = listener.Receive(3000);
        ASSERT_TRUE(datagram);
        EXPECT_EQ(ntohl(datagram->second.sin_addr.s_addr), source);
        EXPECT_EQ(datagram->first, bytes);
    }
}

TEST_F(AnnouncementTest, NoAddressGivesAFixedPlaceholderAndNoEndpoints) {
    StartOn({}, {SmallMediaPath()});
    EXPECT_TRUE(State().listenSockets.empty());
    EXPECT_TRUE(State().discoverySockets.empty());
    EXPECT_EQ(State().announcement.Buffer(), Concat({kMagic,
                                                     {0xC0, 0xA8, 0, 2},
                                                     {0x43, 0x5A, 0, 0},
                                                     {1, 0, 0, 0},
                                                     {0xFF, 0xFF, 0xFF, 0xFF}}));
}

TEST_F(AnnouncementTest, TakenPortLeavesTheAddressAnnouncedButUnbound) {
    // Someone else listens on 127.0.0.2:23107 already.
    platform::Socket squatter(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_EQ(platform::BindIpv4(squatter.Descriptor(), 0x7F000002u, 23107), 0);
    ASSERT_EQ(listen(squatter.Descriptor(), 4), 0);

    const StartReport report = StartOn({{127, 0, 0, 1}, {127, 0, 0, 2}}, {});
    EXPECT_EQ(State().listenSockets.size(), 1u);
    // The start says which socket opened where, and why one did not.
    ASSERT_EQ(report.addresses.size(), 2u);
    for (const AddressReport& address : report.addresses) {
        ASSERT_TRUE(address.listener && address.discovery);
        EXPECT_TRUE(address.discovery->opened);
    }
    EXPECT_TRUE(report.addresses[0].listener->opened);
    EXPECT_FALSE(report.addresses[1].listener->opened);
    EXPECT_EQ(report.addresses[1].listener->error, "bind: Address already in use");
    EXPECT_TRUE(report.socketError.empty());
    EXPECT_TRUE(report.workerStarted);
    EXPECT_EQ(State().localAddresses.size(), 2u);
    EXPECT_EQ(State().announcement.Buffer().size(), 28u);
    EXPECT_EQ(State().announcement.Buffer()[16], 0);  // an empty catalogue still announces
}

TEST_F(AnnouncementTest, MoreThan32PathsStartWith32TitlesAndReportTheRest) {
    const StartReport report = StartOnLoopback(40);
    EXPECT_EQ(State().catalogue->size(), 32u);
    ASSERT_EQ(report.titles.size(), 32u);
    EXPECT_EQ(report.titles[31].title, "small-h264.mp4");
    EXPECT_EQ(report.titles[31].kind, MEDIA_FILE_KIND);
    ASSERT_EQ(report.skipped.size(), 8u);
    EXPECT_EQ(report.skipped[7].reason.kind, SkipKind::BeyondTitleLimit);
    EXPECT_TRUE(LeftOutBeyondTitleLimit(report));
    EXPECT_TRUE(State().workerRunning);
}
