#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <thread>

#include "platform/PathBytes.h"
#include "protocol/RequestCodes.h"
#include "service/ServiceFixture.h"
#include "streaming/PacketPull.h"
#include "support/Bytes.h"
#include "support/PackagedMovieWriter.h"
#include "support/ProcessCounts.h"
#include "support/ProtocolClient.h"
#include "support/SanitizerSlowdown.h"
#include "support/TempDir.h"
#include "tools/headset/HeadsetExchanges.h"

using headset::HeadsetConnection;
using protocol_client::Connect;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int64_t kMiB = 1048576;
// Far more than the 16 MiB send buffer and a non-reading headset's window
// can take, so a reply of this size blocks on a headset that stops reading.
constexpr int64_t kLargeChunkBytes = 64 * kMiB;

int64_t MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Waits until the condition holds or the time is up; true when it held.
template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Asks for the first title's description and checks the answer.
bool IsAnswered(HeadsetConnection& connection, int timeoutMs = 5000) {
    connection.SetTimeout(timeoutMs);
    headset::TitleDescription title;
    return headset::DescribeTitle(connection, 0, title).empty() && title.status == kStatusSuccess;
}

bool FreshConnectionIsAnswered(int timeoutMs = 5000) {
    HeadsetConnection fresh = Connect();
    return fresh.Descriptor() >= 0 && IsAnswered(fresh, timeoutMs);
}

// Drops the connection with a reset instead of an orderly close.
void Reset(HeadsetConnection& connection) {
    const linger abort{1, 0};
    setsockopt(connection.Descriptor(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    connection.Close();
}

std::vector<uint8_t> LargeChunkRequest(int32_t title) {
    const headset::ChunkRequest chunk{0, 0, 0, kLargeChunkBytes};
    return headset::FetchPackagedRequest(title, 0, {&chunk, 1});
}

// Reads and discards until the peer ends the connection; false when it is
// still open at the deadline. Counts what arrived.
bool ReadUntilClosed(int socket, int timeoutMs, uint64_t& received) {
    std::vector<uint8_t> buffer(1 << 16);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        pollfd entry{socket, POLLIN, 0};
        if (poll(&entry, 1, 100) <= 0)
            continue;
        const ssize_t got = recv(socket, buffer.data(), buffer.size(), 0);
        if (got <= 0)
            return true;
        received += static_cast<uint64_t>(got);
    }
    return false;
}

class HostileHeadsetTest : public ServiceTest {
protected:
    // The small H.264 file as title 0, and as title 1 a packaged file whose
    // data region is large but costs no disk space.
    void StartWithLargePackagedTitle() {
        const auto path = dir_.File("large.vrm");
        PackagedMovieLayout layout;
        const std::vector<uint8_t> bytes = PackagedMovieBytes(layout);
        WriteFileBytes(path, bytes);
        int32_t dataOffset = 0;
        std::memcpy(&dataOffset, bytes.data(), sizeof dataOffset);
        ASSERT_EQ(truncate(path.c_str(), 8 + dataOffset + kLargeChunkBytes), 0);
        StartOn({{127, 0, 0, 1}}, {SmallMediaPath(), platform::PathFromOsBytes(path.string())});
        ASSERT_EQ(State().catalogue->size(), 2u);
    }

    // Stops the service, which must not take long whatever the headsets did.
    void ExpectPromptStop() {
        const auto before = Clock::now();
        StopVideoService();
        EXPECT_LT(MillisecondsSince(before), 1000);
        EXPECT_FALSE(State().workerRunning);
    }

    TempDir dir_;
};

}  // namespace

TEST_F(HostileHeadsetTest, TwoHundredIdleConnectionsLockNobodyOutAndLeaveNothingBehind) {
    StartOnLoopback();
    const int descriptors = OpenDescriptorCount();

    std::vector<HeadsetConnection> idle;
    for (int i = 0; i < 200; ++i) {
        idle.push_back(Connect());
        ASSERT_GE(idle.back().Descriptor(), 0) << i;
    }
    // Far more connections than one pass watches: a newcomer, and the
    // connections accepted last, are still served while all are held.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(FreshConnectionIsAnswered(3000));
    for (size_t i : {size_t{199}, size_t{150}, size_t{64}, size_t{0}})
        EXPECT_TRUE(IsAnswered(idle[i], 3000)) << i;

    idle.clear();
    EXPECT_TRUE(FreshConnectionIsAnswered());
    // Every connection dropped is released on the server's side too.
    EXPECT_TRUE(WaitFor([&] { return OpenDescriptorCount() == descriptors; }, 3000))
        << OpenDescriptorCount() << " descriptors open, " << descriptors << " before";
    ExpectPromptStop();
}

namespace {

// Reads a connection at about 1 MB/s, as a headset on weak Wi-Fi does, on a
// thread of its own until destroyed: 2000 bytes every 2 ms at most. Notes
// whether the server ended it.
class SlowReader {
public:
    explicit SlowReader(int socket) : thread_([this, socket] { Read(socket); }) {}
    ~SlowReader() {
        stop_ = true;
        thread_.join();
    }
    SlowReader(const SlowReader&) = delete;
    SlowReader& operator=(const SlowReader&) = delete;

    uint64_t Received() const { return received_; }
    bool Ended() const { return ended_; }

private:
    void Read(int socket) {
        std::vector<uint8_t> buffer(2000);
        while (!stop_ && !ended_) {
            const ssize_t got = recv(socket, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
                ended_ = true;
            if (got > 0)
                received_ += static_cast<uint64_t>(got);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<bool> ended_{false};
    std::atomic<uint64_t> received_{0};
    std::thread thread_;
};

int64_t Percentile(std::vector<int64_t> values, double share) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(share * static_cast<double>(values.size() - 1))];
}

}  // namespace

TEST_F(HostileHeadsetTest, StalledAndSlowHeadsetsDelayNobody) {
    StartWithLargePackagedTitle();
    // Both ask for far more than their sockets hold: one never reads, the
    // other reads slowly from a small receive buffer.
    HeadsetConnection stalled = protocol_client::ConnectWithTinyReceiveBuffer();
    HeadsetConnection slow = protocol_client::ConnectWithTinyReceiveBuffer();
    ASSERT_GE(stalled.Descriptor(), 0);
    ASSERT_GE(slow.Descriptor(), 0);
    const auto stalledAsked = Clock::now();
    std::string error;
    ASSERT_TRUE(stalled.Send(LargeChunkRequest(1), error)) << error;
    ASSERT_TRUE(slow.Send(LargeChunkRequest(1), error)) << error;
    SlowReader slowReader(slow.Descriptor());
    // Building the two replies in memory is work the others wait for by design.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    HeadsetConnection player = Connect();
    headset::OpenedMedia opened;
    ASSERT_EQ(headset::OpenMedia(player, 0, opened), "");
    ASSERT_EQ(opened.status, kStatusSuccess);
    player.SetTimeout(2000);
    // Beyond the stalled headset's 10 s, so its release is measured too.
    std::vector<int64_t> latencies;
    int64_t slowestAtMs = 0;
    headset::BatchRequest next{.videoIndex = opened.videoIndex, .audioIndex = opened.audioIndex};
    // The stalled headset's 10 s start when its reply begins to arrive, which
    // a slow build reaches late.
    std::optional<Clock::time_point> stalledAnswered;
    while (MillisecondsSince(stalledAsked) < 11500) {
        pollfd arrival{stalled.Descriptor(), POLLIN, 0};
        if (!stalledAnswered && poll(&arrival, 1, 0) == 1)
            stalledAnswered = Clock::now();
        const auto asked = Clock::now();
        headset::PacketBatch batch;
        ASSERT_EQ(headset::FetchBatch(player, next, batch), "") << latencies.size();
        latencies.push_back(
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - asked).count());
        if (latencies.back() == *std::max_element(latencies.begin(), latencies.end()))
            slowestAtMs = MillisecondsSince(stalledAsked);
        // Round and round the short clip.
        next.seekWanted = batch.status != kStatusSuccess ? 1 : 0;
        next.seekMicroseconds = 0;
    }
    const int64_t p99 = Percentile(latencies, 0.99);
    const int64_t slowest = Percentile(latencies, 1.0);
    std::sort(latencies.begin(), latencies.end());
    const int64_t secondSlowest = latencies[latencies.size() - 2];
    RecordProperty("batches", static_cast<int>(latencies.size()));
    RecordProperty("p99_us", static_cast<int>(p99));
    RecordProperty("max_us", static_cast<int>(slowest));
    RecordProperty("max_at_ms", static_cast<int>(slowestAtMs));
    EXPECT_LT(p99, 20000 * kSanitizerSlowdown);
    // No batch waits on the other two: one that waited behind the stalled
    // headset's send would take seconds. Once in a few runs the whole test
    // process stops for up to some 130 ms, seen even while the worker only
    // waits in ppoll with a 10 ms time-out, and more on a busy machine; one
    // such batch is let pass.
    EXPECT_LT(secondSlowest, 250000 * kSanitizerSlowdown);
    EXPECT_LT(slowest, 600000 * kSanitizerSlowdown);

    // The stalled headset was given up on and its connection ended, part way
    // through the reply; the slow one is still being served.
    ASSERT_TRUE(stalledAnswered);
    std::this_thread::sleep_until(*stalledAnswered + std::chrono::milliseconds(11000));
    uint64_t received = 0;
    EXPECT_TRUE(ReadUntilClosed(stalled.Descriptor(), 1000 * kSanitizerSlowdown, received));
    EXPECT_LT(received, static_cast<uint64_t>(kLargeChunkBytes));
    EXPECT_FALSE(slowReader.Ended());
    RecordProperty("slow_reader_bytes", static_cast<int>(slowReader.Received()));
    EXPECT_GT(slowReader.Received(), uint64_t{3000000});
    ExpectPromptStop();
}

// Pieces of one reply reach an idle headset no closer than 1 ms apart: the
// pace headsets have always been served at.
TEST_F(HostileHeadsetTest, PiecesOfALongReplyGoAtLeastAMillisecondApart) {
    StartWithLargePackagedTitle();
    HeadsetConnection client = Connect();
    const headset::ChunkRequest chunk{0, 0, 0, 8 * kMiB};
    std::string error;
    ASSERT_TRUE(client.Send(headset::FetchPackagedRequest(1, 0, {&chunk, 1}), error)) << error;

    // When the first byte of each 400000-byte piece arrived.
    constexpr uint64_t kPiece = 400000;
    std::vector<Clock::time_point> pieceStarts;
    std::vector<uint8_t> buffer(1 << 20);
    uint64_t received = 0;
    uint64_t expected = UINT64_MAX;
    while (received < expected) {
        pollfd entry{client.Descriptor(), POLLIN, 0};
        ASSERT_EQ(poll(&entry, 1, 5000), 1);
        const ssize_t got = recv(client.Descriptor(), buffer.data(), buffer.size(), MSG_DONTWAIT);
        ASSERT_GT(got, 0) << std::strerror(errno);
        const auto now = Clock::now();
        if (received == 0) {
            uint32_t length = 0;
            std::memcpy(&length, buffer.data(), sizeof length);
            expected = 4 + uint64_t{length};
        }
        received += static_cast<uint64_t>(got);
        while (pieceStarts.size() * kPiece + 4 < received)
            pieceStarts.push_back(now);
    }
    ASSERT_GE(pieceStarts.size(), 20u);
    std::vector<int64_t> gaps;
    for (size_t i = 1; i < pieceStarts.size(); ++i) {
        gaps.push_back(std::chrono::duration_cast<std::chrono::microseconds>(pieceStarts[i] -
                                                                             pieceStarts[i - 1])
                           .count());
    }
    RecordProperty("median_gap_us", static_cast<int>(Percentile(gaps, 0.5)));
    EXPECT_GE(Percentile(gaps, 0.5), 950);
    ExpectPromptStop();
}

TEST_F(HostileHeadsetTest, ResetInTheMiddleOfALargeReplyEndsOnlyThatReply) {
    StartWithLargePackagedTitle();
    const int descriptors = OpenDescriptorCount();
    // Reset before the first byte of the reply is read, and well into it.
    int64_t slowest = 0;
    for (const uint64_t readFirst : {uint64_t{0}, uint64_t{20 * kMiB}}) {
        HeadsetConnection client = Connect(10000 * kSanitizerSlowdown);
        std::string error;
        ASSERT_TRUE(client.Send(LargeChunkRequest(1), error)) << error;
        std::vector<uint8_t> part(readFirst);
        ASSERT_TRUE(client.ReadExactly(part.data(), part.size(), error)) << readFirst << error;
        Reset(client);

        // A reset peer fails the send at once, well before the time-out.
        const auto start = Clock::now();
        EXPECT_TRUE(FreshConnectionIsAnswered(8000 * kSanitizerSlowdown)) << readFirst;
        slowest = std::max(slowest, MillisecondsSince(start));
        EXPECT_LT(MillisecondsSince(start), 5000 * kSanitizerSlowdown) << readFirst;
    }
    RecordProperty("slowest_answer_after_reset_ms", static_cast<int>(slowest));
    EXPECT_TRUE(WaitFor([&] { return OpenDescriptorCount() == descriptors; }, 3000))
        << OpenDescriptorCount() << " descriptors open, " << descriptors << " before";
    ExpectPromptStop();
}

namespace {

// Noisy pictures make every video packet tens of kilobytes, so a batch holds
// about one of them and a play takes some seventy-five batches.
std::filesystem::path PlayableClip() {
    return MakeH264AacClip("noisy-play-h264-aac.mp4", "320x180", "3", 25, -1,
                           "noise=alls=30:allf=t");
}

// What a session plays of the clip, pulled without any service.
std::vector<PulledPacket> PlayedDirectly(const std::filesystem::path& clip) {
    Catalogue catalogue{MediaEntry(clip.filename().string(), clip.string())};
    SessionPair pair(catalogue);
    const headset::OpenedMedia opened = pair.OpenMedia();
    return PacketsOf(PullToEnd(pair, opened.videoIndex, opened.audioIndex, -1));
}

// Mostly bytes of no meaning; a quarter start with a real request code, with
// fields that are often small numbers, so the handlers parse garbage too.
// Zero is left out of them: title 0 exists, and opening it is real work that
// would delay the other headsets by design, not garbage.
std::vector<uint8_t> RandomMessage(std::mt19937& random) {
    std::uniform_int_distribution<int> length(1, 9000);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<uint8_t> message(static_cast<size_t>(length(random)));
    for (uint8_t& value : message)
        value = static_cast<uint8_t>(byte(random));
    if (random() % 4 != 0 || message.size() < 4)
        return message;
    const auto code = static_cast<int32_t>(kDescribeTitleRequest + random() % 5);
    std::memcpy(message.data(), &code, 4);
    for (size_t offset = 4; offset + 4 <= message.size() && offset < 64; offset += 4) {
        if (random() % 2 == 0) {
            const int32_t smallValues[] = {-2, -1, 1, 2, 3};
            const int32_t small = smallValues[random() % 5];
            std::memcpy(message.data() + offset, &small, 4);
        }
    }
    return message;
}

struct FloodCounts {
    std::atomic<uint64_t> sent{0};
    std::atomic<uint64_t> answered{0};  // bytes of replies to the garbage
};

// Sends random messages until told to stop, and throws away whatever the
// server answers, so its replies never block on this connection.
void Flood(const std::atomic<bool>& stop, uint32_t seed, FloodCounts& counts) {
    HeadsetConnection socket = Connect();
    std::mt19937 random(seed);
    std::vector<uint8_t> discard(1 << 16);
    while (!stop) {
        const std::vector<uint8_t> message = RandomMessage(random);
        if (send(socket.Descriptor(), message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT) >
            0) {
            ++counts.sent;
        }
        ssize_t got = 0;
        while ((got = recv(socket.Descriptor(), discard.data(), discard.size(), MSG_DONTWAIT)) >
               0) {
            counts.answered += static_cast<uint64_t>(got);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// Connections that flood the service, each from a thread of its own, until
// stopped or destroyed; a failed assertion cannot leave them running.
class Flooders {
public:
    explicit Flooders(uint32_t count) {
        for (uint32_t seed = 1; seed <= count; ++seed)
            threads_.emplace_back(Flood, std::cref(stop_), seed, std::ref(counts_));
    }
    ~Flooders() { Stop(); }
    Flooders(const Flooders&) = delete;
    Flooders& operator=(const Flooders&) = delete;

    void Stop() {
        stop_ = true;
        for (std::thread& thread : threads_) {
            if (thread.joinable())
                thread.join();
        }
    }
    const FloodCounts& Counts() const { return counts_; }

private:
    std::atomic<bool> stop_{false};
    FloodCounts counts_;
    std::vector<std::thread> threads_;
};

}  // namespace

TEST_F(HostileHeadsetTest, RandomFloodNeitherDelaysNorDisturbsAPlayingHeadset) {
    const auto clip = PlayableClip();
    ASSERT_FALSE(clip.empty());
    const std::vector<PulledPacket> expected = PlayedDirectly(clip);
    ASSERT_GT(expected.size(), 100u);
    StartOn({{127, 0, 0, 1}}, {platform::PathFromOsBytes(clip.string())});
    ASSERT_EQ(State().catalogue->size(), 1u);

    Flooders flooders(10);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    HeadsetConnection player = Connect();
    headset::OpenedMedia opened;
    ASSERT_EQ(headset::OpenMedia(player, 0, opened), "");
    ASSERT_EQ(opened.status, 0);

    player.SetTimeout(2000);
    std::vector<headset::PacketBatch> replies;
    int64_t slowest = 0;
    int32_t status = kStatusSuccess;
    int batches = 0;
    for (; batches < 10000 && status == kStatusSuccess; ++batches) {
        const auto asked = Clock::now();
        headset::PacketBatch batch;
        const std::string error = headset::FetchBatch(
            player, {.videoIndex = opened.videoIndex, .audioIndex = opened.audioIndex}, batch);
        const int64_t latency = MillisecondsSince(asked);
        ASSERT_EQ(error, "") << "batch " << batches;
        EXPECT_LT(latency, 100) << "batch " << batches;
        slowest = std::max(slowest, latency);
        status = batch.status;
        replies.push_back(std::move(batch));
    }
    const std::vector<PulledPacket> played = PacketsOf(replies);
    RecordProperty("batches", static_cast<int>(batches));
    RecordProperty("slowest_batch_ms", static_cast<int>(slowest));
    flooders.Stop();
    RecordProperty("flood_messages", static_cast<int>(flooders.Counts().sent.load()));
    RecordProperty("flood_reply_bytes", static_cast<int>(flooders.Counts().answered.load()));
    // The garbage reached the request handlers, not only the socket.
    EXPECT_GT(flooders.Counts().answered.load(), 0u);

    EXPECT_EQ(status, 1);
    ASSERT_EQ(played.size(), expected.size());
    for (size_t i = 0; i < played.size(); ++i) {
        ASSERT_EQ(played[i].streamIndex, expected[i].streamIndex) << i;
        ASSERT_EQ(played[i].pts, expected[i].pts) << i;
        ASSERT_EQ(played[i].data, expected[i].data) << i;
    }
    EXPECT_TRUE(FreshConnectionIsAnswered());
    ExpectPromptStop();
}
