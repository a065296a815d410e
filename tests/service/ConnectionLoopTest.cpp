#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "protocol/RequestCodes.h"
#include "service/ConnectionLoop.h"
#include "service/Endpoints.h"
#include "service/ServiceFixture.h"
#include "service/SilentConnections.h"
#include "service/SocketBuffers.h"
#include "support/FakeClock.h"
#include "support/ProcessCounts.h"
#include "support/ProtocolClient.h"
#include "support/SanitizerSlowdown.h"
#include "tools/headset/HeadsetReplies.h"
#include "tools/headset/HeadsetRequests.h"

using headset::HeadsetConnection;
using protocol_client::Connect;
using protocol_client::Exchange;
using protocol_client::NothingArrives;
using protocol_client::ReadReply;
using protocol_client::Request;

namespace {

// The loop driven pass by pass from the test thread, without a worker, so a
// test can look at the sessions between passes.
class ManualLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        State().catalogue =
            std::make_shared<const Catalogue>(BuildCatalogue({SmallMediaPath()}).catalogue);
        ASSERT_EQ(State().catalogue->size(), 1u);
        StartReport report;
        const std::vector<platform::Ipv4Address> loopback{{127, 0, 0, 1}};
        ASSERT_TRUE(OpenListenSockets(State(), loopback, report));
        ASSERT_TRUE(OpenDiscoverySockets(State(), loopback, report));
        BuildAnnouncement(State());
        ASSERT_EQ(State().listenSockets.size(), 1u);
    }
    void TearDown() override { service_.StopVideoService(); }

    ServiceState& State() { return service_.State(); }

    // Runs passes until the condition holds, at most `passes` of them.
    bool PumpUntil(const std::function<bool()>& condition, int passes = 300) {
        for (int i = 0; i < passes; ++i) {
            if (condition())
                return true;
            PollOnce(State());
        }
        return condition();
    }

    // Sessions whose request a media thread has and has not handed back.
    size_t RequestsInHand() {
        return static_cast<size_t>(std::count_if(
            State().sessions.begin(), State().sessions.end(),
            [](const std::unique_ptr<ClientSession>& session) { return session->requestInHand; }));
    }

    // Sends the request and passes until its reply has come.
    bool AskAndRead(HeadsetConnection& client, const std::vector<uint8_t>& request) {
        std::string error;
        if (!client.Send(request, error))
            return false;
        client.SetTimeout(2000);
        PumpUntil([&] { return !NothingArrives(client.Descriptor(), 0); });
        return ReadReply(client).has_value();
    }

    HeadsetConnection ConnectAccepted() {
        const size_t before = State().sessions.size();
        HeadsetConnection client = Connect();
        EXPECT_GE(client.Descriptor(), 0);
        EXPECT_TRUE(PumpUntil([&] { return State().sessions.size() == before + 1; }));
        return client;
    }

    VideoService service_;
};

// The server ended the connection: what it sent before was read.
bool PeerClosed(const HeadsetConnection& client) {
    uint8_t byte = 0;
    return recv(client.Descriptor(), &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

// Lowers the soft descriptor limit to the lowest free descriptor, so that
// the next one anyone in the process opens fails, until the object goes.
class NoFreeDescriptor {
public:
    NoFreeDescriptor() {
        getrlimit(RLIMIT_NOFILE, &saved_);
        const int lowestFree = dup(0);
        close(lowestFree);
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~NoFreeDescriptor() { setrlimit(RLIMIT_NOFILE, &saved_); }
    NoFreeDescriptor(const NoFreeDescriptor&) = delete;
    NoFreeDescriptor& operator=(const NoFreeDescriptor&) = delete;

private:
    rlimit saved_{};
};

int IntOption(int socket, int level, int name) {
    int value = -1;
    socklen_t length = sizeof value;
    getsockopt(socket, level, name, &value, &length);
    return value;
}

// The forcing option where we may use it (it needs privileges); otherwise the
// plain request's capped result, or the kernel's own tuning where that grows
// the buffer further and the plain request would have switched it off.
void ExpectEnlargedBuffer(int socket, int name, int forcedName,
                          platform::BufferDirection direction) {
    const int wanted = 16777216;
    platform::Socket probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int untouched = IntOption(probe.Descriptor(), SOL_SOCKET, name);
    if (setsockopt(probe.Descriptor(), SOL_SOCKET, forcedName, &wanted, sizeof wanted) == 0) {
        EXPECT_GE(IntOption(socket, SOL_SOCKET, name), wanted);  // reported twice over
        return;
    }
    const auto limits = platform::ReadSocketBufferLimits(direction);
    ASSERT_TRUE(limits);
    setsockopt(probe.Descriptor(), SOL_SOCKET, name, &wanted, sizeof wanted);
    const int plain = IntOption(probe.Descriptor(), SOL_SOCKET, name);
    EXPECT_EQ(IntOption(socket, SOL_SOCKET, name),
              PlainRequestBeatsAutotuning(wanted, *limits) ? plain : untouched);
}

const std::vector<uint8_t> kDescribe = headset::DescribeTitleRequest(0);

std::vector<uint8_t> DescribeRequestOfSize(size_t size) {
    std::vector<uint8_t> request = kDescribe;
    request.resize(size, 0xEE);
    return request;
}

// Sends thumbnail requests one by one, each its own receive on the server,
// until the server's buffers toward this client are full.
void FloodWithRequests(int client, int count) {
    const std::vector<uint8_t>& request = kDescribe;
    for (int i = 0; i < count; ++i) {
        if (send(client, request.data(), request.size(), MSG_NOSIGNAL | MSG_DONTWAIT) <= 0)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
}

}  // namespace

TEST_F(ManualLoopTest, RequestsMustFitInOneReceiveBelow8192Bytes) {
    HeadsetConnection client = ConnectAccepted();
    std::string error;
    ASSERT_TRUE(client.Send(DescribeRequestOfSize(8191), error)) << error;
    PumpUntil([&] { return !NothingArrives(client.Descriptor(), 0); });
    EXPECT_EQ(protocol_client::Parsed(headset::ParseTitleDescription, ReadReply(client)).status, 0);

    // Exactly 8192 bytes is dropped, and so is an unknown code; the
    // connection stays usable.
    ASSERT_TRUE(client.Send(DescribeRequestOfSize(8192), error)) << error;
    for (int i = 0; i < 20; ++i)
        PollOnce(State());
    ASSERT_TRUE(client.Send(Request({25606, 0}), error)) << error;
    for (int i = 0; i < 20; ++i)
        PollOnce(State());
    EXPECT_TRUE(NothingArrives(client.Descriptor(), 20));
    EXPECT_EQ(State().sessions.size(), 1u);

    ASSERT_TRUE(client.Send(kDescribe, error)) << error;
    PumpUntil([&] { return !NothingArrives(client.Descriptor(), 0); });
    EXPECT_TRUE(ReadReply(client));
}

TEST_F(ManualLoopTest, ClosedConnectionIsReleasedAndTheNextServedInTheSamePass) {
    HeadsetConnection first = ConnectAccepted();
    HeadsetConnection second = ConnectAccepted();
    HeadsetConnection third = ConnectAccepted();
    ASSERT_EQ(State().sessions.size(), 3u);

    std::string error;
    ASSERT_TRUE(first.Send(kDescribe, error));
    ASSERT_TRUE(third.Send(kDescribe, error));
    second.Close();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // all three have arrived

    PollOnce(State());
    ASSERT_EQ(State().sessions.size(), 2u);
    EXPECT_EQ(RequestsInHand(), 2u);
    first.SetTimeout(1000);
    third.SetTimeout(1000);
    PumpUntil([&] { return RequestsInHand() == 0; });
    EXPECT_TRUE(ReadReply(first));
    EXPECT_TRUE(ReadReply(third));
}

TEST_F(ManualLoopTest, ResetConnectionIsReleased) {
    HeadsetConnection client = ConnectAccepted();
    const linger abort{1, 0};
    setsockopt(client.Descriptor(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    client.Close();  // sends a reset instead of an orderly close
    EXPECT_TRUE(PumpUntil([this] { return State().sessions.empty(); }, 50));
}

TEST_F(ManualLoopTest, AcceptedSocketsGetKeepAliveBigBuffersAndNoDelay) {
    HeadsetConnection client = ConnectAccepted();
    const int socket = State().sessions[0]->socket.Descriptor();
    EXPECT_EQ(IntOption(socket, SOL_SOCKET, SO_KEEPALIVE), 1);
    EXPECT_EQ(IntOption(socket, IPPROTO_TCP, TCP_KEEPIDLE), 6);
    EXPECT_EQ(IntOption(socket, IPPROTO_TCP, TCP_KEEPINTVL), 3);
    EXPECT_EQ(IntOption(socket, IPPROTO_TCP, TCP_KEEPCNT), 10);
    EXPECT_EQ(IntOption(socket, IPPROTO_TCP, TCP_NODELAY), 1);
    ExpectEnlargedBuffer(socket, SO_RCVBUF, SO_RCVBUFFORCE, platform::BufferDirection::Receive);
    ExpectEnlargedBuffer(socket, SO_SNDBUF, SO_SNDBUFFORCE, platform::BufferDirection::Send);
    // The listener's own buffers stay at the system default.
    EXPECT_LT(IntOption(State().listenSockets[0].Descriptor(), SOL_SOCKET, SO_SNDBUF), 16777216);

    // Why the forcing options: a plain request is cut to the kernel's cap.
    std::ifstream capFile("/proc/sys/net/core/rmem_max");
    int cap = 0;
    capFile >> cap;
    platform::Socket plain(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int wanted = 16777216;
    setsockopt(plain.Descriptor(), SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
    const int granted = IntOption(plain.Descriptor(), SOL_SOCKET, SO_RCVBUF);
    RecordProperty("rmem_max", cap);
    RecordProperty("plain_rcvbuf", granted);
    RecordProperty("forced_rcvbuf", IntOption(socket, SOL_SOCKET, SO_RCVBUF));
    if (cap > 0 && cap < wanted) {
        EXPECT_LT(granted, wanted);
    }
}

TEST(SocketBuffers, APlainRequestIsMadeOnlyWhereItBeatsTheKernelsTuning) {
    constexpr int64_t kMiB = 1048576;
    const struct {
        int64_t cap, autotuneMax;
        bool plain;
    } cases[] = {
        {212992, 6 * kMiB, false},  // a stock system: tuning reaches 6 MiB, a request 416 KiB
        {4 * kMiB, 32 * kMiB, false},
        {4 * kMiB, 4 * kMiB, true},
        {16 * kMiB, 6 * kMiB, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PlainRequestBeatsAutotuning(16 * kMiB, {c.cap, c.autotuneMax}), c.plain)
            << c.cap << " " << c.autotuneMax;
    }
}

TEST_F(ManualLoopTest, EveryConnectionIsWatchedInEveryPass) {
    std::vector<HeadsetConnection> clients;
    for (int i = 0; i < 70; ++i)
        clients.push_back(ConnectAccepted());
    ASSERT_EQ(State().sessions.size(), 70u);
    std::string error;
    for (HeadsetConnection& client : clients)
        ASSERT_TRUE(client.Send(kDescribe, error));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    auto answeredCount = [&] {
        size_t answered = 0;
        for (const HeadsetConnection& client : clients)
            answered += NothingArrives(client.Descriptor(), 0) ? 0 : 1;
        return answered;
    };
    // One pass takes every request that is there, each once: none waits
    // behind the others for a turn.
    PollOnce(State());
    EXPECT_EQ(RequestsInHand(), 70u);
    EXPECT_TRUE(PumpUntil([&] { return answeredCount() == 70u; }, 50));
}

TEST_F(ManualLoopTest, ConnectionsThatNeverAskGoAfterAMinuteThoseThatAskedStay) {
    FakeClock clock(100000);
    HeadsetConnection silent = ConnectAccepted();
    HeadsetConnection junk = ConnectAccepted();
    HeadsetConnection asker = ConnectAccepted();
    std::string error;
    ASSERT_TRUE(junk.Send(Request({25606, 0}), error));  // no request of ours
    ASSERT_TRUE(AskAndRead(asker, kDescribe));

    const struct {
        uint32_t advanceMs;
        bool silentKept, junkKept;
    } steps[] = {
        {kFirstRequestWaitMs - 1, true, true},
        {1, false, false},
        {24 * 3600 * 1000, false, false},  // a headset on its list all day
    };
    for (const auto& step : steps) {
        clock.Advance(step.advanceMs);
        for (int i = 0; i < 3; ++i)
            PollOnce(State());
        EXPECT_EQ(!PeerClosed(silent), step.silentKept) << step.advanceMs;
        EXPECT_EQ(!PeerClosed(junk), step.junkKept) << step.advanceMs;
        EXPECT_FALSE(PeerClosed(asker)) << step.advanceMs;
    }
    EXPECT_EQ(State().sessions.size(), 1u);
    EXPECT_TRUE(AskAndRead(asker, kDescribe));
}

// Out of descriptors, the connection silent longest with no title open makes
// room for a newcomer, whether the loop's own cap is reached or accept finds
// no descriptor at all; one playing a title is never closed for it.
class DescriptorShortageTest : public ManualLoopTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DescriptorShortageTest, TheQuietestConnectionWithoutATitleMakesRoom) {
    const bool atTheCap = GetParam();
    FakeClock clock(1000);
    HeadsetConnection playing = ConnectAccepted();
    ASSERT_TRUE(AskAndRead(playing, headset::OpenMediaRequest(0)));
    clock.Advance(1000);
    HeadsetConnection silent = ConnectAccepted();
    clock.Advance(1000);
    HeadsetConnection asker = ConnectAccepted();
    ASSERT_TRUE(AskAndRead(asker, kDescribe));
    clock.Advance(1000);

    std::vector<HeadsetConnection> newcomers;
    newcomers.push_back(Connect());
    newcomers.push_back(Connect());
    std::optional<NoFreeDescriptor> noneFree;
    if (atTheCap)
        State().sessionCap = 3;
    else
        noneFree.emplace();
    const std::vector<const HeadsetConnection*> closedInTurn = {&silent, &asker};
    for (const HeadsetConnection* closed : closedInTurn) {
        ASSERT_TRUE(PumpUntil([&] { return PeerClosed(*closed); }, 50));
        EXPECT_EQ(State().sessions.size(), 3u);
    }
    noneFree.reset();
    for (HeadsetConnection& newcomer : newcomers)
        EXPECT_TRUE(AskAndRead(newcomer, kDescribe));
    EXPECT_FALSE(PeerClosed(playing));
}

INSTANTIATE_TEST_SUITE_P(AtTheCapOrWithNoneLeft, DescriptorShortageTest, ::testing::Bool());

TEST_F(ManualLoopTest, WithEveryConnectionPlayingANewcomerWaitsUntilOneCloses) {
    HeadsetConnection playing = ConnectAccepted();
    ASSERT_TRUE(AskAndRead(playing, headset::OpenMediaRequest(0)));
    State().sessionCap = 1;
    HeadsetConnection newcomer = Connect();
    for (int i = 0; i < 5; ++i)
        PollOnce(State());
    // Nothing to close: the listener is no longer watched, so the loop
    // does not spin on a connection it cannot take.
    EXPECT_TRUE(State().shortage.listenersPaused);
    EXPECT_EQ(State().sessions.size(), 1u);
    EXPECT_FALSE(PeerClosed(playing));

    playing.Close();
    EXPECT_TRUE(PumpUntil(
        [&] { return State().sessions.size() == 1 && !State().shortage.listenersPaused; }));
    EXPECT_TRUE(AskAndRead(newcomer, kDescribe));
}

TEST_F(ManualLoopTest, ARequestNoThreadCanTakeEndsItsConnectionAndNothingElse) {
    HeadsetConnection first = ConnectAccepted();
    State().mediaWorkers.SetThreadStart([](std::thread&, std::function<void()>) { return false; });
    std::string error;
    ASSERT_TRUE(first.Send(kDescribe, error));
    EXPECT_TRUE(PumpUntil([&] { return PeerClosed(first); }, 50));
    EXPECT_TRUE(State().sessions.empty());

    State().mediaWorkers.SetThreadStart(MediaWorkers::StartSystemThread);
    HeadsetConnection next = ConnectAccepted();
    EXPECT_TRUE(AskAndRead(next, kDescribe));
}

class WorkerLoopTest : public ServiceTest {};

TEST_F(WorkerLoopTest, ResetConnectionDoesNotSpinTheWorker) {
    StartOnLoopback();
    std::string error;
    for (int i = 0; i < 5; ++i) {
        HeadsetConnection client = Connect();
        ASSERT_TRUE(client.Send(kDescribe, error)) << error;
        const linger abort{1, 0};
        setsockopt(client.Descriptor(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    const std::clock_t cpuBefore = std::clock();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double cpuSeconds = static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    EXPECT_LT(cpuSeconds, 0.5);

    HeadsetConnection fresh = Connect();
    EXPECT_TRUE(Exchange(fresh, kDescribe));
}

TEST_F(WorkerLoopTest, HeadsetThatAsksAndNeverReadsDelaysNobody) {
    StartOnLoopback();
    HeadsetConnection stalled = protocol_client::ConnectWithTinyReceiveBuffer();
    FloodWithRequests(stalled.Descriptor(), 400);

    HeadsetConnection patient = Connect(15000);
    const auto asked = std::chrono::steady_clock::now();
    const auto reply = Exchange(patient, kDescribe);
    const auto waited = std::chrono::steady_clock::now() - asked;
    ASSERT_TRUE(reply);
    EXPECT_LT(waited, std::chrono::milliseconds(500 * kSanitizerSlowdown));
}

TEST_F(WorkerLoopTest, StopDuringABlockedReplyReturnsPromptly) {
    StartOnLoopback();
    HeadsetConnection stalled = protocol_client::ConnectWithTinyReceiveBuffer();
    FloodWithRequests(stalled.Descriptor(), 400);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    const auto before = std::chrono::steady_clock::now();
    StopVideoService();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1000));
    EXPECT_FALSE(State().workerRunning);
    EXPECT_TRUE(State().sessions.empty());
    EXPECT_TRUE(State().listenSockets.empty());
    EXPECT_TRUE(State().catalogue->empty());
}

TEST_F(WorkerLoopTest, StopWithoutStartTouchesNothing) {
    const auto before = std::chrono::steady_clock::now();
    StopVideoService();
    StopVideoService();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(5));
    EXPECT_TRUE(State().stopRequested);
}

TEST_F(WorkerLoopTest, RepeatedStartsLeaveNoDescriptorOrThreadBehind) {
    // One cycle first, so lazily opened library descriptors are counted.
    StartOnLoopback();
    StopVideoService();
    const int descriptors = OpenDescriptorCount();
    const int threads = ThreadCount();
    for (int cycle = 0; cycle < 100; ++cycle) {
        StartOnLoopback();
        HeadsetConnection client = Connect();
        ASSERT_GE(client.Descriptor(), 0) << cycle;
        ASSERT_TRUE(Exchange(client, kDescribe)) << cycle;
        StopVideoService();
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(ThreadCount(), threads);
}
