#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/OperatorLog.h"
#include "service/OperatorEvents.h"
#include "service/ServiceFixture.h"
#include "support/FakeClock.h"
#include "support/ProtocolClient.h"
#include "tools/headset/HeadsetRequests.h"

using platform::OperatorDetail;

namespace {

std::mutex linesMutex;
std::vector<std::string> lines;

void KeepLine(std::string_view line) {
    const std::lock_guard lock(linesMutex);
    lines.emplace_back(line);
}

std::vector<std::string> Lines() {
    const std::lock_guard lock(linesMutex);
    return lines;
}

// Waits until a line holds `text`; gives the lines so far.
std::vector<std::string> WaitForLine(const std::string& text) {
    for (int i = 0; i < 300; ++i) {
        const auto now = Lines();
        for (const std::string& line : now) {
            if (line.find(text) != std::string::npos)
                return now;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Lines();
}

// The part of each line after "headset ADDRESS:PORT ".
std::vector<std::string> Events(const std::vector<std::string>& all) {
    std::vector<std::string> events;
    for (const std::string& line : all) {
        const size_t start = line.find(' ', sizeof "headset");
        events.push_back(line.starts_with("headset 127.0.0.1:") ? line.substr(start + 1) : line);
    }
    return events;
}

class OperatorEventsTest : public ServiceTest {
protected:
    void SetUp() override {
        lines.clear();
        platform::SetOperatorLogSink(KeepLine);
    }
    void TearDown() override {
        ServiceTest::TearDown();
        platform::SetOperatorLogSink(nullptr);
        platform::SetOperatorDetail(OperatorDetail::Errors);
    }

    // One headset's connect, describe, open, seek and orderly close.
    void PlayOneHeadset(bool resetAtTheEnd) {
        ASSERT_TRUE(StartOnLoopback().workerStarted);
        headset::HeadsetConnection client = protocol_client::Connect();
        ASSERT_TRUE(protocol_client::Exchange(client, headset::DescribeTitleRequest(0)));
        ASSERT_TRUE(protocol_client::Exchange(client, headset::OpenMediaRequest(0)));
        headset::BatchRequest batch;
        batch.seekWanted = 1;
        batch.seekMicroseconds = 200000;
        batch.videoIndex = 0;
        ASSERT_TRUE(protocol_client::Exchange(client, headset::PacketBatchRequest(batch)));
        if (resetAtTheEnd) {
            const linger abort{1, 0};
            setsockopt(client.Descriptor(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        client.Close();
    }
};

TEST_F(OperatorEventsTest, OneHeadsetsConnectOpenSeekAndRelease) {
    platform::SetOperatorDetail(OperatorDetail::Events);
    PlayOneHeadset(false);
    const auto events = Events(WaitForLine("released"));
    ASSERT_EQ(events.size(), 5u) << testing::PrintToString(Lines());
    EXPECT_EQ(events[0], "connected");
    EXPECT_EQ(events[1], "described title 0 (small-h264.mp4)");
    EXPECT_EQ(events[2], "opened title 0 (small-h264.mp4): video 0 h264, no audio, no subtitle");
    EXPECT_EQ(events[3], "sought to 0.200 s");
    EXPECT_TRUE(events[4].starts_with("released (closed), ")) << events[4];
    EXPECT_TRUE(events[4].ends_with(" bytes sent, 3 requests served")) << events[4];
    // The thumbnail alone is 300 x 150 pixels.
    EXPECT_GT(std::stoull(events[4].substr(sizeof "released (closed),")), 300u * 150u);
}

TEST_F(OperatorEventsTest, QuietKeepsOnlyErrorsAndVerboseAddsRequests) {
    platform::SetOperatorDetail(OperatorDetail::Errors);
    PlayOneHeadset(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(Lines(), std::vector<std::string>{});
    StopVideoService();

    platform::SetOperatorDetail(OperatorDetail::Requests);
    PlayOneHeadset(true);
    const auto events = Events(WaitForLine("released"));
    const std::vector<std::string> first{"connected", "request 25601",
                                         "described title 0 (small-h264.mp4)", "request 25605"};
    ASSERT_GE(events.size(), first.size());
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 4), first);
    EXPECT_TRUE(events.back().starts_with("released (reset), ")) << events.back();
}

// Fetches are summed up in at most one line a second per headset.
TEST_F(OperatorEventsTest, PackagedFetchesAreSummedUpOnceASecond) {
    platform::SetOperatorDetail(OperatorDetail::Events);
    FakeClock clock(5000);
    ClientSession session{platform::Socket{}};
    LogConnected(session, nullptr, 0);
    for (const uint32_t step : {0u, 400u, 599u, 1u, 500u, 500u}) {
        clock.Advance(step);
        LogPackagedFetch(session, 512 * 1024);
    }
    EXPECT_EQ(Events(Lines()),
              (std::vector<std::string>{
                  "headset (unknown address) connected",
                  "headset (unknown address) fetched packaged data: 4 replies, 2.0 MiB in 1.0 s",
                  "headset (unknown address) fetched packaged data: 2 replies, 1.0 MiB in 1.0 s"}));
}

TEST(ReleaseReason, FollowsTheLastReceive) {
    EXPECT_EQ(ReleaseReasonOf(0, 0), ReleaseReason::Closed);
    EXPECT_EQ(ReleaseReasonOf(-1, ECONNRESET), ReleaseReason::Reset);
    // Keep-alive probes that went unanswered: the headset vanished.
    EXPECT_EQ(ReleaseReasonOf(-1, ETIMEDOUT), ReleaseReason::Stalled);
}

}  // namespace
