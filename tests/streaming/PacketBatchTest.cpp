#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/WideText.h"
#include "streaming/FrameHashes.h"
#include "streaming/PacketPull.h"
#include "support/Bytes.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/TestMedia.h"

namespace {

std::filesystem::path H264AacMp4() {
    return MakeH264AacClip("stream-h264-aac.mp4", "320x180", "10", 50, 2);
}

std::filesystem::path HevcMkv() {
    return MakeTestMedia(
        "stream-hevc.mkv",
        {"-f", "lavfi", "-i", "testsrc=s=320x180:d=3:r=25", "-c:v", "libx265", "-preset",
         "ultrafast", "-x265-params", "log-level=none", "-pix_fmt", "yuv420p"});
}

std::filesystem::path Vp9Webm() {
    return MakeTestMedia("stream-vp9.webm", {"-f", "lavfi", "-i", "testsrc=s=160x90:d=2:r=25",
                                             "-c:v", "libvpx-vp9", "-deadline", "realtime"});
}

// Three seconds of PCM audio (about 560 KiB) before a large key frame.
std::filesystem::path AudioBeforeKeyFrameMkv() {
    return MakeTestMedia("stream-audio-first.mkv", {"-f",         "lavfi",
                                                    "-i",         "sine=d=4:r=48000",
                                                    "-itsoffset", "3",
                                                    "-f",         "lavfi",
                                                    "-i",         "testsrc=s=1280x720:d=1:r=5",
                                                    "-map",       "0",
                                                    "-map",       "1",
                                                    "-c:a",       "pcm_s16le",
                                                    "-ac",        "2",
                                                    "-c:v",       "libx264",
                                                    "-preset",    "ultrafast",
                                                    "-qp",        "0"});
}

// Ninety seconds with a key frame every two.
std::filesystem::path LongClipMp4() {
    return MakeTestMedia("stream-90s.mp4",
                         {"-f", "lavfi", "-i", "testsrc=s=160x90:d=90:r=10", "-c:v", "libx264",
                          "-preset", "ultrafast", "-g", "20", "-keyint_min", "20", "-sc_threshold",
                          "0", "-pix_fmt", "yuv420p"});
}

// About 50 MiB of uncompressed pictures, more than one batch may read.
std::filesystem::path LargeRawVideoMkv() {
    return MakeTestMedia("stream-raw-50mib.mkv", {"-f", "lavfi", "-i", "testsrc=s=640x360:d=6:r=25",
                                                  "-c:v", "rawvideo", "-pix_fmt", "yuv420p"});
}

template <typename T>
void AppendLe(std::vector<uint8_t>& bytes, T value) {
    for (size_t i = 0; i < sizeof(T); ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

CatalogueEntry EntryFor(const std::filesystem::path& media) {
    return MediaEntry(media.filename().string(), media.string());
}

class PacketBatchTest : public ::testing::Test {
protected:
    headset::OpenedMedia Open(const std::filesystem::path& media) {
        catalogue.clear();
        catalogue.push_back(EntryFor(media));
        return pair_.OpenMedia();
    }

    Catalogue catalogue;
    SessionPair pair_{catalogue};
    TempDir dir_;
};

struct ProbedPacket {
    double ptsTime = NAN;
    double dtsTime = NAN;
    std::vector<uint8_t> data;
};

std::vector<uint8_t> HexDumpBytes(const std::string& line) {
    std::vector<uint8_t> bytes;
    const size_t colon = line.find(": ");
    const size_t ascii = line.find("  ", colon + 2);
    if (colon == std::string::npos)
        return bytes;
    std::string hex;
    for (char c : line.substr(colon + 2, ascii - colon - 2)) {
        if (c != ' ')
            hex.push_back(c);
    }
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// The packets of one stream as ffprobe sees them, with their data.
std::vector<ProbedPacket> ProbePackets(const std::filesystem::path& media,
                                       const std::string& stream) {
    std::istringstream text(RunProgram({"ffprobe", "-v", "error", "-select_streams", stream,
                                        "-show_packets", "-show_data", media.string()})
                                .output);
    std::vector<ProbedPacket> packets;
    bool inData = false;
    for (std::string line; std::getline(text, line);) {
        if (line == "[PACKET]") {
            packets.emplace_back();
            inData = false;
        } else if (line == "[/PACKET]") {
            inData = false;
        } else if (line.rfind("pts_time=", 0) == 0) {
            packets.back().ptsTime = line.substr(9) == "N/A" ? NAN : std::stod(line.substr(9));
        } else if (line.rfind("dts_time=", 0) == 0) {
            packets.back().dtsTime = line.substr(9) == "N/A" ? NAN : std::stod(line.substr(9));
        } else if (line == "data=") {
            inData = true;
        } else if (inData) {
            const std::vector<uint8_t> bytes = HexDumpBytes(line);
            packets.back().data.insert(packets.back().data.end(), bytes.begin(), bytes.end());
        }
    }
    return packets;
}

void ExpectSameTimes(const std::vector<PulledPacket>& records,
                     const std::vector<ProbedPacket>& probed) {
    ASSERT_EQ(records.size(), probed.size());
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_NEAR(static_cast<double>(records[i].pts), probed[i].ptsTime * 1e6, 1.0) << i;
        EXPECT_NEAR(static_cast<double>(records[i].dts), probed[i].dtsTime * 1e6, 1.0) << i;
    }
}

std::filesystem::path WriteStream(const TempDir& dir, const std::string& name,
                                  const std::vector<std::vector<uint8_t>>& parts) {
    std::vector<uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    const auto path = dir.File(name);
    WriteFileBytes(path, all);
    return path;
}

std::vector<uint8_t> Concatenated(const std::vector<PulledPacket>& records) {
    std::vector<uint8_t> all;
    for (const PulledPacket& record : records) {
        all.insert(all.end(), record.data.begin(), record.data.end());
    }
    return all;
}

// Every batch must end at the first record that brings its data to the
// budget in force: 2 MiB until a video record is in the batch, 16 KiB after.
void ExpectBatchesEndWhereTheBudgetSays(const std::vector<headset::PacketBatch>& batches,
                                        int32_t video) {
    for (size_t b = 0; b < batches.size(); ++b) {
        int64_t bytes = 0;
        bool videoSeen = false;
        const auto& records = batches[b].packets;
        for (size_t i = 0; i < records.size(); ++i) {
            const int64_t budget = videoSeen ? 16384 : 2097152;
            ASSERT_LT(bytes, budget) << "batch " << b << " read on past its budget at " << i;
            bytes += records[i].size;
            videoSeen = videoSeen || records[i].streamIndex == video;
        }
        if (batches[b].status == 0) {
            EXPECT_GE(bytes, videoSeen ? 16384 : 2097152) << "batch " << b << " ended early";
        }
    }
}

}  // namespace

TEST_F(PacketBatchTest, H264AndAacReachTheHeadsetIntact) {
    const auto media = H264AacMp4();
    ASSERT_FALSE(media.empty());
    const headset::OpenedMedia opened = Open(media);
    ASSERT_EQ(opened.status, 0);
    ASSERT_EQ(opened.mimeType, "video/avc");
    const auto batches = PullToEnd(pair_, opened.videoIndex, opened.audioIndex, -1);
    ASSERT_FALSE(batches.empty());
    EXPECT_EQ(batches.back().status, 1);

    const auto video = PacketsOf(batches, opened.videoIndex);
    const auto annexB =
        WriteStream(dir_, "video.h264", {opened.csd0, opened.csd1, Concatenated(video)});
    const auto received = FrameHashes({"-f", "h264", "-i", annexB.string()});
    const auto original = FrameHashes({"-i", media.string(), "-map", "0:v"});
    EXPECT_EQ(received.size(), 250u);
    EXPECT_EQ(received, original);
    ExpectSameTimes(video, ProbePackets(media, "v:0"));

    const auto audio = PacketsOf(batches, opened.audioIndex);
    const auto probedAudio = ProbePackets(media, "a:0");
    ASSERT_EQ(audio.size(), probedAudio.size());
    for (size_t i = 0; i < audio.size(); ++i)
        ASSERT_EQ(audio[i].data, probedAudio[i].data) << i;
    ExpectSameTimes(audio, probedAudio);
    ExpectBatchesEndWhereTheBudgetSays(batches, opened.videoIndex);

    // Past the end there is nothing more.
    const auto after =
        pair_.FetchBatch({.videoIndex = opened.videoIndex, .audioIndex = opened.audioIndex});
    EXPECT_EQ(after.status, 1);
    EXPECT_TRUE(after.packets.empty());
}

TEST_F(PacketBatchTest, HevcRecordsCarryTheFilteredStream) {
    const auto media = HevcMkv();
    ASSERT_FALSE(media.empty());
    const headset::OpenedMedia opened = Open(media);
    ASSERT_EQ(opened.mimeType, "video/hevc");
    ASSERT_TRUE(opened.csd1.empty());
    const auto batches = PullToEnd(pair_, opened.videoIndex, -1, -1);
    const auto video = PacketsOf(batches, opened.videoIndex);
    // The filter's output has start codes where the file has length fields.
    ASSERT_FALSE(video.empty());
    EXPECT_EQ(std::vector<uint8_t>(video[0].data.begin(), video[0].data.begin() + 4),
              (std::vector<uint8_t>{0, 0, 0, 1}));

    const auto annexB = WriteStream(dir_, "video.hevc", {opened.csd0, Concatenated(video)});
    const auto received = FrameHashes({"-f", "hevc", "-i", annexB.string()});
    EXPECT_EQ(received.size(), 75u);
    EXPECT_EQ(received, FrameHashes({"-i", media.string(), "-map", "0:v"}));
}

TEST_F(PacketBatchTest, Vp9RecordsAreThePacketsUnchanged) {
    const auto media = Vp9Webm();
    ASSERT_FALSE(media.empty());
    const headset::OpenedMedia opened = Open(media);
    ASSERT_EQ(opened.mimeType, "video/x-vnd.on2.vp9");
    const auto video = PacketsOf(PullToEnd(pair_, opened.videoIndex, -1, -1), opened.videoIndex);
    ASSERT_FALSE(video.empty());

    // An IVF file: a 32-byte header, then 12 bytes before every frame.
    std::vector<uint8_t> ivf{'D', 'K', 'I', 'F', 0, 0, 32, 0, 'V', 'P', '9', '0'};
    AppendLe(ivf, uint16_t{160});
    AppendLe(ivf, uint16_t{90});
    AppendLe(ivf, uint32_t{1000000});
    AppendLe(ivf, uint32_t{1});
    AppendLe(ivf, static_cast<uint32_t>(video.size()));
    AppendLe(ivf, uint32_t{0});
    for (const PulledPacket& record : video) {
        AppendLe(ivf, static_cast<uint32_t>(record.data.size()));
        AppendLe(ivf, static_cast<uint64_t>(record.pts));
        ivf.insert(ivf.end(), record.data.begin(), record.data.end());
    }
    const auto file = WriteStream(dir_, "video.ivf", {ivf});
    const auto received = FrameHashes({"-f", "ivf", "-i", file.string()});
    EXPECT_EQ(received.size(), 50u);
    EXPECT_EQ(received, FrameHashes({"-i", media.string(), "-map", "0:v"}));
}

TEST_F(PacketBatchTest, AudioAheadOfTheFirstKeyFrameFillsOneBatch) {
    const auto media = AudioBeforeKeyFrameMkv();
    ASSERT_FALSE(media.empty());
    const headset::OpenedMedia opened = Open(media);
    ASSERT_EQ(opened.status, 0);
    const auto batches = PullToEnd(pair_, opened.videoIndex, opened.audioIndex, -1);
    ASSERT_GE(batches.size(), 2u);
    ExpectBatchesEndWhereTheBudgetSays(batches, opened.videoIndex);

    // The first batch holds all the audio before the key frame, then the key
    // frame itself, and stops right after it.
    const auto& first = batches[0].packets;
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.back().streamIndex, opened.videoIndex);
    EXPECT_EQ(first.back().flags & 1, 1);
    int64_t audioBytes = 0;
    for (size_t i = 0; i + 1 < first.size(); ++i) {
        EXPECT_EQ(first[i].streamIndex, opened.audioIndex);
        audioBytes += first[i].size;
    }
    EXPECT_GT(audioBytes, 500000);
}

TEST_F(PacketBatchTest, WithoutVideoEveryBatchRunsToTwoMebibytes) {
    const auto media = AudioBeforeKeyFrameMkv();
    const headset::OpenedMedia opened = Open(media);
    const auto batches = PullToEnd(pair_, -1, opened.audioIndex, -1);
    ASSERT_FALSE(batches.empty());
    ExpectBatchesEndWhereTheBudgetSays(batches, -1);
    for (const PulledPacket& packet : PacketsOf(batches))
        EXPECT_EQ(packet.streamIndex, opened.audioIndex);
}

TEST_F(PacketBatchTest, OnlyTheNamedStreamsAreSent) {
    const auto media = H264AacMp4();
    const headset::OpenedMedia opened = Open(media);
    // The audio index named as the video: its packets count as video.
    const auto batches = PullToEnd(pair_, opened.audioIndex, opened.audioIndex, -1);
    ASSERT_FALSE(batches.empty());
    for (const headset::PacketBatch& batch : batches) {
        for (const headset::PacketRecord& record : batch.packets)
            EXPECT_EQ(record.streamIndex, opened.audioIndex);
        if (batch.status == 0) {
            EXPECT_LE(batch.packets.size(), 40u);  // the small budget applies at once
        }
    }
}

TEST_F(PacketBatchTest, SeekTakesEffectForItsOwnBatch) {
    const auto media = LongClipMp4();
    ASSERT_FALSE(media.empty());
    const headset::OpenedMedia opened = Open(media);
    ASSERT_EQ(opened.status, 0);

    // Without the flag the position is ignored.
    auto batch = pair_.FetchBatch({.seekMicroseconds = 60000000, .videoIndex = opened.videoIndex});
    ASSERT_FALSE(batch.packets.empty());
    EXPECT_LT(batch.packets.front().pts, 1000000);

    batch = pair_.FetchBatch(
        {.seekWanted = 1, .seekMicroseconds = 60000000, .videoIndex = opened.videoIndex});
    ASSERT_FALSE(batch.packets.empty());
    const headset::PacketRecord& first = batch.packets.front();
    EXPECT_EQ(first.flags & 1, 1);
    EXPECT_LE(std::llabs(first.pts - 60000000), 2000000) << first.pts;
}

TEST_F(PacketBatchTest, PicturesAfterASeekAreTheSourcesFromItsKeyFrameOn) {
    const auto media = H264AacMp4();
    ASSERT_FALSE(media.empty());
    const headset::OpenedMedia opened = Open(media);
    ASSERT_EQ(opened.mimeType, "video/avc");
    // The filter has run.
    ASSERT_EQ(pair_.FetchBatch({.videoIndex = opened.videoIndex}).status, 0);
    auto batches = PullToEnd(pair_, opened.videoIndex, -1, -1);
    batches.assign(
        1, pair_.FetchBatch(
               {.seekWanted = 1, .seekMicroseconds = 5000000, .videoIndex = opened.videoIndex}));
    const auto rest = PullToEnd(pair_, opened.videoIndex, -1, -1);
    batches.insert(batches.end(), rest.begin(), rest.end());

    const auto video = PacketsOf(batches, opened.videoIndex);
    const auto annexB =
        WriteStream(dir_, "sought.h264", {opened.csd0, opened.csd1, Concatenated(video)});
    const auto received = FrameHashes({"-f", "h264", "-i", annexB.string()});
    const auto original = FrameHashes({"-i", media.string(), "-map", "0:v"});
    ASSERT_GT(received.size(), 0u);
    ASSERT_LT(received.size(), original.size());
    EXPECT_TRUE(std::equal(received.begin(), received.end(), original.end() - received.size()));
}

// Requests that keep none of the packets they read: no stream at all, or
// only streams the file does not have.
TEST_F(PacketBatchTest, ABatchReadsABoundedPartOfTheFile) {
    const auto media = LargeRawVideoMkv();
    ASSERT_FALSE(media.empty());
    ASSERT_GT(std::filesystem::file_size(media), 40u * 1048576);
    const headset::OpenedMedia opened = Open(media);
    ASSERT_EQ(opened.status, 0);
    for (const int32_t missing : {-1, 7}) {
        const auto first = pair_.FetchBatch({.seekWanted = 1,
                                             .videoIndex = missing,
                                             .audioIndex = missing,
                                             .subtitleIndex = missing});
        EXPECT_EQ(first.status, 0) << missing;
        EXPECT_TRUE(first.packets.empty());
        const auto rest = PullToEnd(pair_, missing, missing, missing);
        ASSERT_FALSE(rest.empty());
        EXPECT_EQ(rest.back().status, 1);
    }
    // What is kept is all there, batch after batch.
    ASSERT_EQ(pair_.FetchBatch({.seekWanted = 1, .videoIndex = opened.videoIndex}).status, 0);
    const auto batches = PullToEnd(pair_, opened.videoIndex, -1, -1);
    EXPECT_EQ(PacketsOf(batches, opened.videoIndex).size() + 1, 150u);
}

TEST_F(PacketBatchTest, BatchWithoutOpenMediaGetsStatusTwo) {
    // The reply code is the parser's to check.
    const auto batch = pair_.FetchBatch({.seekWanted = 1, .videoIndex = 0, .audioIndex = 1});
    EXPECT_EQ(batch.status, 2);
    EXPECT_TRUE(batch.packets.empty());
}
