#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "platform/Ipv4SocketAddress.h"
#include "platform/OperatorLog.h"
#include "protocol/RequestCodes.h"
#include "streaming/PacketPull.h"
#include "support/Bytes.h"
#include "support/TempDir.h"
#include "support/TestMedia.h"

// Media files cut short or with bytes changed, as a failing disk or an
// interrupted copy leaves them, played to the end: every reply must still be
// one the headset can take apart, and nothing may crash or hang.
namespace {

// A damaged file may demultiplex into far more packets than it had; playing
// stops there, as a headset would give up on it.
constexpr int kMaxBatches = 3000;
constexpr auto kMaxPlayTime = std::chrono::seconds(30);

struct Clip {
    std::string name;
    std::filesystem::path path;
    // Where the packets begin; before it lie the container's headers.
    std::vector<uint8_t> firstPacketMarker;
    size_t markerBack = 0;  // the header ends this many bytes before the marker
};

// Noisy pictures, so that every video packet is tens of kilobytes and a
// batch holds about one of them: a play takes some fifty batches.
std::vector<std::string> NoisyClipArguments(const std::vector<std::string>& codecs) {
    std::vector<std::string> args{"-f",       "lavfi",
                                  "-i",       "testsrc=s=320x180:d=2:r=25",
                                  "-f",       "lavfi",
                                  "-i",       "sine=f=440:d=2:r=44100",
                                  "-vf",      "noise=alls=30:allf=t",
                                  "-pix_fmt", "yuv420p",
                                  "-shortest"};
    args.insert(args.end(), codecs.begin(), codecs.end());
    return args;
}

Clip H264AacMp4() {
    // The index in front, so that cuts after it leave a file that opens.
    return {
        "mp4",
        MakeTestMedia("noisy-h264-aac.mp4",
                      NoisyClipArguments({"-c:v", "libx264", "-preset", "ultrafast", "-g", "25",
                                          "-bf", "2", "-c:a", "aac", "-movflags", "+faststart"})),
        {'m', 'd', 'a', 't'},
        4};
}

Clip HevcAacMkv() {
    return {"mkv",
            MakeTestMedia("noisy-hevc-aac.mkv",
                          NoisyClipArguments({"-c:v", "libx265", "-preset", "ultrafast",
                                              "-x265-params", "log-level=none", "-c:a", "aac"})),
            {0x1F, 0x43, 0xB6, 0x75},  // the first cluster
            0};
}

Clip H264Mp2Ts() {
    return {"ts",
            MakeTestMedia("noisy-h264-mp2.ts", NoisyClipArguments({"-c:v", "libx264", "-preset",
                                                                   "ultrafast", "-c:a", "mp2"})),
            {},
            0};
}

size_t HeaderEnd(const Clip& clip, const std::vector<uint8_t>& bytes) {
    if (clip.firstPacketMarker.empty())
        return std::min<size_t>(bytes.size(), 188 * 4);  // tables ahead of the first packets
    const auto found = std::search(bytes.begin(), bytes.end(), clip.firstPacketMarker.begin(),
                                   clip.firstPacketMarker.end());
    const auto offset = static_cast<size_t>(found - bytes.begin());
    return offset > clip.markerBack ? offset - clip.markerBack : bytes.size();
}

struct DamagedCopy {
    std::string label;
    std::vector<uint8_t> bytes;
};

// Three cuts inside the headers, seven spread over the packets.
std::vector<DamagedCopy> TruncatedCopies(const std::vector<uint8_t>& bytes, size_t headerEnd) {
    std::vector<size_t> lengths;
    for (size_t quarter = 1; quarter <= 3; ++quarter)
        lengths.push_back(headerEnd * quarter / 4);
    for (size_t eighth = 1; eighth <= 7; ++eighth)
        lengths.push_back(headerEnd + (bytes.size() - headerEnd) * eighth / 8);
    std::vector<DamagedCopy> copies;
    for (size_t length : lengths) {
        copies.push_back(
            {"first " + std::to_string(length) + " of " + std::to_string(bytes.size()) + " bytes",
             std::vector<uint8_t>(bytes.begin(), bytes.begin() + length)});
    }
    return copies;
}

struct FlipPlan {
    const char* where;
    bool headerOnly;
    int flips;
    uint32_t seed;
};

// Bytes XORed with random non-zero values at positions from fixed seeds: a
// few anywhere, many anywhere, and a few in the headers only.
std::vector<DamagedCopy> FlippedCopies(const std::vector<uint8_t>& bytes, size_t headerEnd) {
    constexpr FlipPlan kPlans[] = {
        {"anywhere", false, 24, 1},     {"anywhere", false, 24, 2},
        {"anywhere", false, 2000, 3},   {"in the headers", true, 8, 4},
        {"in the headers", true, 8, 5}, {"in the headers", true, 8, 6},
    };
    std::vector<DamagedCopy> copies;
    for (const FlipPlan& plan : kPlans) {
        const size_t span = plan.headerOnly ? std::max<size_t>(headerEnd, 1) : bytes.size();
        std::mt19937 random(plan.seed);
        DamagedCopy copy{std::to_string(plan.flips) + " bytes flipped " + plan.where + ", seed " +
                             std::to_string(plan.seed),
                         bytes};
        for (int flip = 0; flip < plan.flips; ++flip) {
            const size_t position = random() % span;
            copy.bytes[position] ^= static_cast<uint8_t>(1 + random() % 255);
        }
        copies.push_back(std::move(copy));
    }
    return copies;
}

// A packet batch the tool takes apart without complaint, framed, filling
// its payload exactly and with only padding after it, that goes on or ends
// the media and whose every record is of a named stream.
::testing::AssertionResult IsWellFormedBatch(const std::vector<uint8_t>& payload, int32_t video,
                                             int32_t audio, headset::PacketBatch& batch) {
    const std::string error = headset::ParsePacketBatch(payload, batch);
    if (!error.empty())
        return ::testing::AssertionFailure() << error;
    if (batch.status != 0 && batch.status != 1)
        return ::testing::AssertionFailure() << "status " << batch.status;
    for (size_t i = 0; i < batch.packets.size(); ++i) {
        const int32_t stream = batch.packets[i].streamIndex;
        if (stream < 0 || (stream != video && stream != audio))
            return ::testing::AssertionFailure() << "record " << i << " of stream " << stream;
    }
    return ::testing::AssertionSuccess();
}

struct PlayOutcome {
    int32_t openStatus = -1;
    int batches = 0;
    int32_t lastStatus = -1;
    int64_t packets = 0;
};

class DamagedMediaTest : public ::testing::Test {
protected:
    // The demultiplexers complain about every damaged file; quiet, so that a
    // failure's own messages stay readable.
    void SetUp() override {
        logLevel_ = av_log_get_level();
        av_log_set_level(AV_LOG_QUIET);
    }
    void TearDown() override { av_log_set_level(logLevel_); }

    // One reply, framed as announced (the tool's reader takes no other
    // frame) and with nothing after it.
    std::optional<std::vector<uint8_t>> Exchange(SessionPair& pair,
                                                 const std::vector<uint8_t>& request) {
        auto reply = pair.Exchange(request);
        EXPECT_TRUE(reply) << "no reply to " << request.size() << " bytes";
        if (reply) {
            EXPECT_TRUE(protocol_client::NothingArrives(pair.Headset(), 0)) << "stray bytes";
        }
        return reply;
    }

    // Opens the file as title 0 and pulls batches until the end of the media.
    PlayOutcome Play(const std::filesystem::path& path) {
        catalogue.clear();
        catalogue.push_back(MediaEntry(path.filename().string(), path.string()));
        SessionPair pair(catalogue);
        PlayOutcome outcome;
        const auto opened = Exchange(pair, headset::OpenMediaRequest(0));
        if (!opened)
            return outcome;
        // The code is the right one, and a failure status comes alone.
        headset::OpenedMedia media;
        EXPECT_EQ(headset::ParseOpenedMedia(*opened, media), "");
        outcome.openStatus = media.status;
        if (media.status != kStatusSuccess) {
            EXPECT_TRUE(media.status == 2 || media.status == 4) << media.status;
            return outcome;
        }
        EXPECT_EQ(media.streamCount, static_cast<int32_t>(media.streams.size()));

        // To the end, then once more from a seek back to the middle.
        const auto started = std::chrono::steady_clock::now();
        const headset::BatchRequest next{.videoIndex = media.videoIndex,
                                         .audioIndex = media.audioIndex};
        PlayOn(pair, next, next, started, outcome);
        if (outcome.lastStatus == 1) {
            headset::BatchRequest seek = next;
            seek.seekWanted = 1;
            seek.seekMicroseconds = 1000000;
            PlayOn(pair, seek, next, started, outcome);
        }
        return outcome;
    }

    // Pulls batches, the first with `first`, until one ends the media.
    void PlayOn(SessionPair& pair, const headset::BatchRequest& first,
                const headset::BatchRequest& next, std::chrono::steady_clock::time_point started,
                PlayOutcome& outcome) {
        const headset::BatchRequest* request = &first;
        while (outcome.batches < kMaxBatches &&
               std::chrono::steady_clock::now() - started < kMaxPlayTime) {
            const auto reply = Exchange(pair, headset::PacketBatchRequest(*request));
            request = &next;
            if (!reply)
                return;
            ++outcome.batches;
            headset::PacketBatch batch;
            EXPECT_TRUE(IsWellFormedBatch(*reply, next.videoIndex, next.audioIndex, batch))
                << "batch " << outcome.batches;
            outcome.lastStatus = batch.status;
            outcome.packets += static_cast<int64_t>(batch.packets.size());
            if (outcome.lastStatus != kStatusSuccess)
                return;
        }
    }

    void PlayEveryCopy(const Clip& clip, const std::vector<DamagedCopy>& copies) {
        for (const DamagedCopy& copy : copies) {
            SCOPED_TRACE(clip.name + ", " + copy.label);
            const auto path = dir_.File("damaged." + clip.name);
            WriteFileBytes(path, copy.bytes);
            const PlayOutcome outcome = Play(path);
            if (outcome.openStatus == kStatusSuccess) {
                EXPECT_GT(outcome.batches, 0);
                EXPECT_TRUE(outcome.lastStatus == 1 || outcome.batches == kMaxBatches)
                    << outcome.batches << " batches, last status " << outcome.lastStatus;
            }
            played_ += outcome.openStatus == kStatusSuccess ? 1 : 0;
        }
    }

    void PlayDamagedCopiesOf(const Clip& clip) {
        ASSERT_FALSE(clip.path.empty()) << clip.name;
        const std::vector<uint8_t> bytes = ReadFileBytes(clip.path);
        const size_t headerEnd = HeaderEnd(clip, bytes);
        ASSERT_LT(headerEnd, bytes.size()) << clip.name;

        // The undamaged file first, as the measure for the damaged ones.
        const PlayOutcome intact = Play(clip.path);
        ASSERT_EQ(intact.openStatus, kStatusSuccess) << clip.name;
        ASSERT_EQ(intact.lastStatus, 1) << clip.name;

        PlayEveryCopy(clip, TruncatedCopies(bytes, headerEnd));
        PlayEveryCopy(clip, FlippedCopies(bytes, headerEnd));
        RecordProperty(clip.name + "_copies_played", played_);
        // Most cuts leave the headers whole: the damage must not stop them all.
        EXPECT_GE(played_, 7) << clip.name;
    }

    TempDir dir_;
    int played_ = 0;
    int logLevel_ = AV_LOG_INFO;

    Catalogue catalogue;
};

}  // namespace

TEST_F(DamagedMediaTest, Mp4WithH264AndAac) {
    PlayDamagedCopiesOf(H264AacMp4());
}

TEST_F(DamagedMediaTest, MatroskaWithHevcAndAac) {
    PlayDamagedCopiesOf(HevcAacMkv());
}

TEST_F(DamagedMediaTest, TransportStreamWithH264AndMp2) {
    PlayDamagedCopiesOf(H264Mp2Ts());
}

namespace {

std::vector<std::string> operatorLines;

void KeepOperatorLine(std::string_view line) {
    operatorLines.emplace_back(line);
}

// Serves the first `sent` bytes of a file to one reader over TCP on loopback,
// then stalls until the test resets or closes the connection: a source that
// fails or stops answering in the middle, as a share that goes away does.
class FailingSource {
public:
    FailingSource(const std::vector<uint8_t>& bytes, size_t sent)
        : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address = platform::Ipv4SocketAddress(INADDR_LOOPBACK, 0);
        socklen_t length = sizeof address;
        bind(listener_.Descriptor(), reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_.Descriptor(), 1);
        getsockname(listener_.Descriptor(), reinterpret_cast<sockaddr*>(&address), &length);
        url_ = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
        const std::vector<uint8_t> head(bytes.begin(),
                                        bytes.begin() + std::min(sent, bytes.size()));
        server_ = std::thread([this, head] {
            reader_ = platform::Socket(accept(listener_.Descriptor(), nullptr, nullptr));
            send(reader_.Descriptor(), head.data(), head.size(), MSG_NOSIGNAL);
        });
    }
    ~FailingSource() {
        shutdown(listener_.Descriptor(), SHUT_RDWR);
        if (server_.joinable())
            server_.join();
    }
    const std::string& Url() const { return url_; }
    // Ends the stall: the reader's next read fails.
    void Reset() {
        server_.join();
        const linger reset{1, 0};
        setsockopt(reader_.Descriptor(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        reader_.Close();
    }
    // Ends the stall: the reader sees the end of the stream.
    void Hangup() {
        server_.join();
        reader_.Close();
    }

private:
    platform::Socket listener_;
    platform::Socket reader_;
    std::string url_;
    std::thread server_;
};

}  // namespace

TEST_F(DamagedMediaTest, AReadErrorReachesTheOperatorOnce) {
    const Clip clip = H264Mp2Ts();
    ASSERT_FALSE(clip.path.empty());
    operatorLines.clear();
    platform::SetOperatorLogSink(KeepOperatorLine);
    const std::vector<uint8_t> bytes = ReadFileBytes(clip.path);
    FailingSource source(bytes, bytes.size() / 2);
    catalogue.push_back(MediaEntry("failing.ts", source.Url()));
    SessionPair pair(catalogue);
    ASSERT_EQ(pair.OpenMedia().status, 0);
    source.Reset();
    const auto batches = PullToEnd(pair, 0, 1, -1);
    ASSERT_FALSE(batches.empty());
    EXPECT_EQ(batches.back().status, 1);
    EXPECT_EQ(pair.FetchBatch({.videoIndex = 0, .audioIndex = 1}).status, 1);
    platform::SetOperatorLogSink(nullptr);
    EXPECT_EQ(operatorLines.size(), 1u);
}

// The reads of a stalled title give up once the service stops, so that the
// stop does not wait for a source that may never answer.
TEST_F(DamagedMediaTest, AStallingTitleLetsTheServiceStop) {
    const Clip clip = H264Mp2Ts();
    ASSERT_FALSE(clip.path.empty());
    // Too little to find the streams in: the opening waits for more.
    FailingSource source(ReadFileBytes(clip.path), 4096);
    catalogue.push_back(MediaEntry("stalling.ts", source.Url()));
    SessionPair pair(catalogue);
    std::atomic<bool> stop{false};
    pair.Session().stopFlag = &stop;
    auto opening = std::async(std::launch::async, [&] {
        const std::vector<uint8_t> request = headset::OpenMediaRequest(0);
        bsMemRead reader(request.data(), request.size());
        HandleRequest(reader, pair.Session(), catalogue);
    });
    EXPECT_EQ(opening.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    stop = true;
    EXPECT_EQ(opening.wait_for(std::chrono::seconds(3)), std::future_status::ready);
    source.Hangup();
}
