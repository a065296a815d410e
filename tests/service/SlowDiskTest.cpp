#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>

#include "platform/OperatorLog.h"
#include "platform/PathBytes.h"
#include "protocol/Replies.h"
#include "service/ServiceFixture.h"
#include "support/Bytes.h"
#include "support/PackagedMovieWriter.h"
#include "support/ProtocolClient.h"
#include "support/SanitizerSlowdown.h"
#include "support/SlowDisk.h"
#include "support/TempDir.h"
#include "tools/headset/HeadsetExchanges.h"
#include "tools/headset/LatencySummary.h"

using headset::ChunkRequest;
using headset::HeadsetConnection;
using protocol_client::Connect;
using protocol_client::Exchange;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int64_t kMiB = 1048576;
constexpr int32_t kFastTitle = 0;
constexpr int32_t kSlowMediaTitle = 1;
constexpr int32_t kSlowPackagedTitle = 2;
// A second file of the same movie, which no other headset has open: its
// opening must read the disk.
constexpr int32_t kOtherSlowPackagedTitle = 3;

// A request sent while the slow disk sleeps, after the ones that prepare it
// went through while it was awake.
struct SlowRequest {
    const char* what;
    std::vector<std::vector<uint8_t>> before;
    std::vector<uint8_t> request;
};

std::vector<uint8_t> BatchWithSeekTo(uint64_t microseconds) {
    headset::BatchRequest batch;
    batch.seekWanted = 1;
    batch.seekMicroseconds = microseconds;
    batch.videoIndex = 0;
    return headset::PacketBatchRequest(batch);
}

// Past the 8 MiB the opening reads ahead, so the fetch needs the disk.
std::vector<uint8_t> FarChunkRequest() {
    const headset::ChunkRequest chunk{1, 2, 12 * kMiB, 13 * kMiB};
    return headset::FetchPackagedRequest(kSlowPackagedTitle, 0, {&chunk, 1});
}

const SlowRequest kOpenMedia{
    "opening a media title", {}, headset::OpenMediaRequest(kSlowMediaTitle)};
const SlowRequest kBatch{
    "a batch after a seek", {headset::OpenMediaRequest(kSlowMediaTitle)}, BatchWithSeekTo(8000000)};
const SlowRequest kOpenPackaged{
    "opening a packaged title", {}, headset::OpenPackagedRequest(kOtherSlowPackagedTitle)};
const SlowRequest kFetch{
    "a packaged fetch", {headset::OpenPackagedRequest(kSlowPackagedTitle)}, FarChunkRequest()};

// A reply may start before the disk wakes, with the bytes it holds itself;
// it ends only with the file's.
bool WholeReplyArrived(int socket) {
    std::vector<uint8_t> waiting(4 + 2 * kMiB);
    const ssize_t got = recv(socket, waiting.data(), waiting.size(), MSG_PEEK | MSG_DONTWAIT);
    uint32_t length = 0;
    if (got < 4)
        return false;
    std::memcpy(&length, waiting.data(), sizeof length);
    return static_cast<uint64_t>(got) >= 4 + uint64_t{length};
}

int32_t ReplyStatus(const std::vector<uint8_t>& payload) {
    protocol::MessageReader reader(payload);
    protocol::ReplyHead<0> head;
    head.Serialize(reader);
    return reader.Complete() ? head.status : -1;
}

// The operator's lines, kept by the sink a test puts in place.
std::mutex operatorLinesMutex;
std::vector<std::string> operatorLines;

void KeepOperatorLine(std::string_view line) {
    const std::lock_guard lock(operatorLinesMutex);
    operatorLines.emplace_back(line);
}

bool OperatorWasTold(const std::string& text) {
    const std::lock_guard lock(operatorLinesMutex);
    return std::ranges::any_of(operatorLines, [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

class SlowDiskTest : public ServiceTest {
protected:
    void SetUp() override {
        const std::filesystem::path slow = dir_.File("slow");
        std::filesystem::create_directory(slow);
        const auto media = MakeTestMedia(
            "ten-seconds-h264.mp4", {"-f", "lavfi", "-i", "testsrc=s=320x240:d=10:r=25", "-c:v",
                                     "libx264", "-preset", "ultrafast", "-g", "25"});
        ASSERT_FALSE(media.empty());
        std::filesystem::copy_file(media, slow / "clip.mp4");
        PackagedMovieLayout layout;
        layout.data = PatternBytes(16 * kMiB, 3);
        WriteFileBytes(slow / "movie.vrm", PackagedMovieBytes(layout));
        std::filesystem::copy_file(slow / "movie.vrm", slow / "copy.vrm");

        slow_disk::PlaceFolder((slow / "").string());
        StartOn({{127, 0, 0, 1}}, {SmallMediaPath(), Wide(slow / "clip.mp4"),
                                   Wide(slow / "movie.vrm"), Wide(slow / "copy.vrm")});
        ASSERT_EQ(State().catalogue->size(), 4u);
    }
    void TearDown() override {
        slow_disk::Wake();
        slow_disk::Mend();
        ServiceTest::TearDown();
        slow_disk::PlaceFolder("");
        platform::SetOperatorLogSink(nullptr);
    }

    static std::wstring Wide(const std::filesystem::path& path) {
        return platform::PathFromOsBytes(path.string());
    }

    // Sends each request's preparation, puts the disk to sleep and sends the
    // requests, one headset each; returns once they all wait for the disk.
    std::vector<HeadsetConnection> SendWhileAsleep(const std::vector<SlowRequest>& requests) {
        std::vector<HeadsetConnection> headsets;
        for (const SlowRequest& slow : requests) {
            headsets.push_back(Connect(20000));
            for (const std::vector<uint8_t>& before : slow.before)
                EXPECT_TRUE(Exchange(headsets.back(), before)) << slow.what;
        }
        slow_disk::PutToSleep();
        std::string error;
        for (size_t i = 0; i < requests.size(); ++i)
            EXPECT_TRUE(headsets[i].Send(requests[i].request, error)) << error;
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (slow_disk::Waiting() < static_cast<int>(requests.size()) && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_GE(slow_disk::Waiting(), static_cast<int>(requests.size()));
        return headsets;
    }

    // Plays the fast title for `duration`, starting over at its end; the
    // milliseconds each batch took.
    static std::vector<double> PlayFastTitle(std::chrono::milliseconds duration) {
        HeadsetConnection headset = Connect();
        headset::OpenedMedia opened;
        EXPECT_EQ(headset::OpenMedia(headset, kFastTitle, opened), "");
        std::vector<double> latencies;
        headset::BatchRequest request{.videoIndex = 0};
        for (const auto end = Clock::now() + duration; Clock::now() < end;) {
            const auto asked = Clock::now();
            headset::PacketBatch batch;
            if (!headset::FetchBatch(headset, request, batch).empty())
                return latencies;  // the count shows it
            latencies.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - asked).count());
            request.seekWanted = batch.status == 1 ? 1 : 0;  // at the end, back to the start
        }
        return latencies;
    }

    // What a headset gets for the same requests from a disk that is awake.
    static std::optional<std::vector<uint8_t>> ReplyWhenAwake(const SlowRequest& slow) {
        HeadsetConnection headset = Connect();
        for (const std::vector<uint8_t>& before : slow.before)
            (void)Exchange(headset, before);
        return Exchange(headset, slow.request);
    }

    // While the requests wait for the disk, the fast title plays on time;
    // once the disk wakes, each slow headset gets the reply it would have
    // got from an awake disk.
    void ExpectOnlyTheirOwnHeadsetsWait(const std::vector<SlowRequest>& requests) {
        std::vector<HeadsetConnection> slow = SendWhileAsleep(requests);
        const std::vector<double> latencies = PlayFastTitle(std::chrono::milliseconds(1500));
        for (size_t i = 0; i < slow.size(); ++i) {
            EXPECT_FALSE(WholeReplyArrived(slow[i].Descriptor()))
                << requests[i].what << " was answered by a sleeping disk";
        }
        slow_disk::Wake();

        const headset::LatencySummary summary = headset::SummarizeLatencies(latencies);
        EXPECT_GT(latencies.size(), 50u);
        EXPECT_LT(summary.p99, 20.0 * kSanitizerSlowdown);
        // A batch that waited for the disk would take the whole 1.5 s it
        // sleeps; the bound leaves room for a busy machine, not for that.
        EXPECT_LT(summary.max, 400.0 * kSanitizerSlowdown);
        for (size_t i = 0; i < slow.size(); ++i) {
            const auto reply = protocol_client::ReadReply(slow[i]);
            ASSERT_TRUE(reply) << requests[i].what;
            EXPECT_EQ(ReplyStatus(*reply), 0) << requests[i].what;
            EXPECT_EQ(reply, ReplyWhenAwake(requests[i])) << requests[i].what;
        }
    }

    TempDir dir_;
};

}  // namespace

TEST_F(SlowDiskTest, EachRequestThatWaitsForTheDiskHoldsUpOnlyItsHeadset) {
    for (const SlowRequest& slow : {kOpenMedia, kBatch, kOpenPackaged, kFetch}) {
        SCOPED_TRACE(slow.what);
        ExpectOnlyTheirOwnHeadsetsWait({slow});
    }
}

TEST_F(SlowDiskTest, FourHeadsetsWaitingForTheDiskAtOnceHoldUpNobodyElse) {
    ExpectOnlyTheirOwnHeadsetsWait({kOpenMedia, kBatch, kOpenPackaged, kFetch});
}

// A read that does not return holds the stop until it does: what the read
// writes into must not go before it.
TEST_F(SlowDiskTest, AStopWaitsForAReadThatHasNotReturned) {
    std::vector<HeadsetConnection> slow = SendWhileAsleep({kOpenMedia});
    auto stopped = std::async(std::launch::async, [this] { StopVideoService(); });
    EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    slow_disk::Wake();
    EXPECT_EQ(stopped.wait_for(std::chrono::seconds(1)), std::future_status::ready);
    EXPECT_TRUE(State().sessions.empty());
}

namespace {

// Where a packaged title's data begins in the files the fixture writes.
constexpr int64_t kDataInFile = 64;

struct RangeCase {
    const char* what;
    int32_t title;
    ChunkRequest chunk;
    // What the headset gets while the sector cannot be read: a reply with
    // this status, or (-1) the connection's end in the middle of the reply.
    int32_t statusWhileBroken;
};

}  // namespace

// A sector that cannot be read 6 MiB into the data: a range that needs it
// never comes back as the film's bytes, nor as status 0 with others; the
// rest of the title and the other titles serve; once the sector reads
// again, the same ranges give the film's bytes.
TEST_F(SlowDiskTest, ARangeAcrossABadSectorIsNeverSentAsData) {
    platform::SetOperatorLogSink(KeepOperatorLine);
    const std::vector<uint8_t> film = PatternBytes(16 * kMiB, 3);
    const RangeCase cases[] = {
        {"a range within the bad sector's block",
         kSlowPackagedTitle,
         {1, 2, 6 * kMiB - 1000, 6 * kMiB + 1000},
         1},
        {"a range from a good block into the bad one",
         kSlowPackagedTitle,
         {1, 2, 3 * kMiB, 5 * kMiB},
         -1},
        {"a range far from it", kSlowPackagedTitle, {1, 2, 9 * kMiB, 10 * kMiB}, 0},
        {"another title", kOtherSlowPackagedTitle, {1, 2, 9 * kMiB, 10 * kMiB}, 0},
    };
    const auto fetch = [](const RangeCase& range, headset::PackagedData& reply) {
        HeadsetConnection headset = Connect(20000);
        return headset::FetchPackaged(headset, range.title, 0, {&range.chunk, 1}, reply);
    };
    const auto expectTheFilm = [&](const headset::PackagedData& reply, const RangeCase& range) {
        ASSERT_EQ(reply.status, 0);
        ASSERT_FALSE(reply.chunks.empty());
        const auto from = film.begin() + range.chunk.start;
        EXPECT_TRUE(std::equal(from, from + (range.chunk.end - range.chunk.start),
                               reply.chunks[0].bytes.begin(), reply.chunks[0].bytes.end()));
    };

    slow_disk::BreakSector(kDataInFile + 6 * kMiB, 4096);
    for (const RangeCase& range : cases) {
        SCOPED_TRACE(range.what);
        headset::PackagedData reply;
        const std::string problem = fetch(range, reply);
        if (range.statusWhileBroken < 0) {
            EXPECT_NE(problem, "") << "a reply came whole";
        } else if (range.statusWhileBroken == 0) {
            ASSERT_EQ(problem, "");
            expectTheFilm(reply, range);
        } else {
            ASSERT_EQ(problem, "");
            EXPECT_EQ(reply.status, range.statusWhileBroken);
            EXPECT_TRUE(reply.chunks.empty());
        }
    }
    headset::OpenedMedia opened;
    HeadsetConnection other = Connect();
    EXPECT_EQ(headset::OpenMedia(other, kFastTitle, opened), "");
    EXPECT_TRUE(OperatorWasTold("movie.vrm at offset "));
    EXPECT_TRUE(OperatorWasTold(std::strerror(EIO)));

    slow_disk::Mend();
    for (const RangeCase& range : cases) {
        SCOPED_TRACE(range.what);
        headset::PackagedData reply;
        ASSERT_EQ(fetch(range, reply), "");
        expectTheFilm(reply, range);
    }
}
