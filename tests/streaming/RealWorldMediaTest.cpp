#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "catalogue/Thumbnail.h"
#include "catalogue/ThumbnailChecks.h"
#include "catalogue/ToUtf8.h"
#include "platform/FfmpegHandles.h"
#include "platform/PathBytes.h"
#include "platform/WideText.h"
#include "streaming/FrameHashes.h"
#include "streaming/PacketPull.h"
#include "support/SessionPair.h"
#include "support/TempDir.h"
#include "support/TestMedia.h"
#include "tools/headset/MatroskaRemuxer.h"

// Files made the way people's files are made: what the catalogue lists, the
// thumbnail, the open reply and what the headset's decoder gets from them.
namespace {

using Args = std::vector<std::string>;

std::filesystem::path CoverPicture() {
    return MakeTestMedia("corpus-cover-640x360.png",
                         {"-f", "lavfi", "-i", "testsrc2=s=640x360", "-frames:v", "1"});
}

std::filesystem::path Subtitles() {
    const std::filesystem::path path = std::filesystem::path(ONDU_TEST_MEDIA_DIR) / "corpus.srt";
    std::filesystem::create_directories(path.parent_path());
    if (!std::filesystem::exists(path)) {
        const std::filesystem::path partial = path.string() + std::to_string(getpid());
        std::ofstream(partial) << "1\n00:00:00,000 --> 00:00:01,000\nOne\n\n"
                                  "2\n00:00:01,200 --> 00:00:02,000\nTwo\n\n";
        std::filesystem::rename(partial, path);
    }
    return path;
}

Args Picture(const std::string& size = "320x180", double seconds = 2, int rate = 25) {
    return {"-f", "lavfi", "-i",
            "testsrc=s=" + size + ":r=" + std::to_string(rate) + ":d=" + std::to_string(seconds)};
}

Args Tone(double seconds = 2, int frequency = 440) {
    return {"-f", "lavfi", "-i",
            "sine=f=" + std::to_string(frequency) + ":r=48000:d=" + std::to_string(seconds)};
}

Args Join(std::initializer_list<Args> parts) {
    Args all;
    for (const Args& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// x264 with one key frame at the start: what a camera or a screen recorder
// writes for a short clip.
// The test pattern is RGB; people's files are 4:2:0.
const Args kH264OneKeyFrame = {"-c:v", "libx264", "-preset",  "ultrafast",
                               "-g",   "1000",    "-pix_fmt", "yuv420p"};
const Args kH264KeyEverySecond = {"-c:v", "libx264", "-preset",  "ultrafast",
                                  "-g",   "25",      "-pix_fmt", "yuv420p"};
// x264's ultrafast preset writes Constrained Baseline, or Main when
// interlaced.
constexpr int32_t kConstrainedBaseline = 65536;
constexpr int32_t kMain = 2;

struct CorpusFile {
    const char* name;
    Args ffmpegArgs;
    // The open reply.
    const char* mimeType;
    int32_t videoIndex;   // the movie's stream, -1 none
    int32_t profile;      // the code the headset is sent; -1 not checked
    int32_t streamCount;  // every stream, covers and attachments included
};

void PrintTo(const CorpusFile& file, std::ostream* out) {
    *out << file.name;
}

const std::string kLatin1Name = "corpus-caf\xE9 cr\xE8me.mp4";

std::vector<CorpusFile> Corpus() {
    const std::string cover = CoverPicture().string();
    const std::string subtitles = Subtitles().string();
    return {
        {"corpus-hevc-main10.mp4",
         Join({Picture(),
               {"-c:v", "libx265", "-preset", "ultrafast", "-pix_fmt", "yuv420p10le", "-tag:v",
                "hvc1", "-x265-params", "log-level=none:keyint=25"}}),
         "video/hevc", 0, 2, 1},
        {"corpus-h264-high10.mp4",
         Join({Picture(), kH264KeyEverySecond, {"-pix_fmt", "yuv420p10le"}}), "video/avc", 0, 16,
         1},
        {"corpus-fragmented.mp4",
         Join({Picture(),
               Tone(),
               kH264KeyEverySecond,
               {"-c:a", "aac", "-movflags", "frag_keyframe+empty_moov+default_base_moof"}}),
         "video/avc", 0, kConstrainedBaseline, 2},
        {"corpus-cover.mp4",
         Join({Picture(),
               {"-i", cover, "-map", "0", "-map", "1"},
               kH264KeyEverySecond,
               {"-c:v:1", "png", "-disposition:v:1", "attached_pic"}}),
         "video/avc", 0, kConstrainedBaseline, 2},
        {"corpus-attachment.mkv",
         Join({Picture(),
               kH264KeyEverySecond,
               {"-attach", cover, "-metadata:s:t", "mimetype=image/png"}}),
         "video/avc", 0, kConstrainedBaseline, 2},
        {"corpus-interlaced.ts",
         Join({Picture(),
               kH264OneKeyFrame,
               {"-flags", "+ildct+ilme", "-x264-params", "interlaced=1:tff=1"}}),
         "video/avc", 0, kMain, 1},
        {"corpus-vfr.mkv",
         Join({Picture("320x180", 3),
               kH264OneKeyFrame,
               {"-vf", "select='lt(n\\,20)+not(mod(n\\,3))'", "-fps_mode", "vfr"}}),
         "video/avc", 0, kConstrainedBaseline, 1},
        {"corpus-camera.mov", Join({Picture(), Tone(), kH264OneKeyFrame, {"-c:a", "pcm_s16le"}}),
         "video/avc", 0, kConstrainedBaseline, 2},
        {"corpus-two-audio-srt.mkv",
         Join({Picture(),
               Tone(),
               Tone(2, 880),
               {"-i", subtitles, "-map", "0", "-map", "1", "-map", "2", "-map", "3"},
               kH264OneKeyFrame,
               {"-c:a", "aac", "-c:s", "srt"}}),
         "video/avc", 0, kConstrainedBaseline, 4},
        {"corpus-mov-text.mp4",
         Join({Picture(),
               {"-i", subtitles, "-map", "0", "-map", "1"},
               kH264KeyEverySecond,
               {"-c:s", "mov_text"}}),
         "video/avc", 0, kConstrainedBaseline, 2},
        {"corpus-hevc-8k.mp4",
         // Made from a small picture, which is quicker and smooth enough
         // for any scaler to give the same thumbnail.
         Join({Picture("160x80", 1, 5),
               {"-vf", "scale=7680:3840", "-pix_fmt", "yuv420p", "-c:v", "libx265", "-preset",
                "ultrafast", "-x265-params", "log-level=none:keyint=1000"}}),
         "video/hevc", 0, 1, 1},
        {"corpus-vp9-opus.webm",
         Join({Picture(),
               Tone(),
               {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-g", "25", "-pix_fmt", "yuv420p",
                "-c:a", "libopus"}}),
         "video/x-vnd.on2.vp9", 0, 1, 2},
        {"corpus-av1.mkv",
         Join({Picture("160x90", 1, 10),
               {"-c:v", "libaom-av1", "-cpu-used", "8", "-usage", "realtime", "-pix_fmt",
                "yuv420p"}}),
         "", 0, -1, 1},
        {kLatin1Name.c_str(), Join({Picture(), kH264KeyEverySecond}), "video/avc", 0,
         kConstrainedBaseline, 1},
    };
}

std::wstring WidePath(const std::filesystem::path& path) {
    return platform::PathFromOsBytes(path.string());
}

FormatContextPtr OpenInput(const std::filesystem::path& file) {
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, file.c_str(), nullptr, nullptr) < 0)
        return {};
    FormatContextPtr input(opened);
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        return {};
    return input;
}

// A source packet with its time stamps rescaled as the server rescales them.
struct SourcePacket {
    int64_t pts = 0;
    int64_t dts = 0;
    std::vector<uint8_t> data;
};

std::vector<SourcePacket> SourcePackets(const std::filesystem::path& file, int stream) {
    std::vector<SourcePacket> packets;
    const FormatContextPtr input = OpenInput(file);
    const PacketPtr packet(av_packet_alloc());
    if (!input || !packet)
        return packets;
    const AVRational timeBase = input->streams[stream]->time_base;
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        const PacketDataRelease release(packet.get());
        if (packet->stream_index != stream)
            continue;
        packets.push_back({av_rescale_q(packet->pts, timeBase, {1, 1000000}),
                           av_rescale_q(packet->dts, timeBase, {1, 1000000}),
                           {packet->data, packet->data + packet->size}});
    }
    return packets;
}

// Seconds from the start of the key frame the thumbnail shows: the first at
// or after the middle, else the last before it.
std::optional<double> ThumbnailKeyFrameTime(const std::filesystem::path& file, int stream) {
    const FormatContextPtr input = OpenInput(file);
    if (!input)
        return std::nullopt;
    const double start = input->start_time != AV_NOPTS_VALUE ? input->start_time / 1e6 : 0;
    const double middle = start + static_cast<double>(input->duration / 2) / 1e6;
    const AVRational timeBase = input->streams[stream]->time_base;
    std::optional<double> before;
    const PacketPtr packet(av_packet_alloc());
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        const PacketDataRelease release(packet.get());
        if (packet->stream_index != stream || (packet->flags & AV_PKT_FLAG_KEY) == 0)
            continue;
        const int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        const double time = stamp * av_q2d(timeBase);
        if (time >= middle - 1e-6)
            return time - start;
        before = time - start;
    }
    return before;
}

void ExpectThumbnailOfItsKeyFrame(const CatalogueEntry& entry, const std::filesystem::path& file,
                                  int stream) {
    ASSERT_EQ(entry.thumbnail.size(), static_cast<size_t>(THUMBNAIL_BYTES));
    EXPECT_EQ(entry.thumbWidth, 300);
    EXPECT_EQ(entry.thumbHeight, 150);
    EXPECT_FALSE(IsAllZero(entry.thumbnail));
    const std::optional<double> keyFrame = ThumbnailKeyFrameTime(file, stream);
    ASSERT_TRUE(keyFrame.has_value());
    // Just before the key frame, so that ffmpeg's exact seek shows it, and
    // scaled the way the thumbnail is.
    const std::vector<uint8_t> reference =
        FfmpegThumbnailAt(file, std::max(0.0, *keyFrame - 1e-4), "fast_bilinear+accurate_rnd");
    EXPECT_LT(MeanAbsoluteDifference(entry.thumbnail, reference), 8.0) << "key frame " << *keyFrame;
}

void ExpectVideoDecodesToTheSource(const headset::OpenedMedia& opened,
                                   const std::vector<headset::PacketBatch>& batches,
                                   const std::filesystem::path& file) {
    TempDir dir;
    const std::string received = dir.File("received.mkv").string();
    headset::OpenedMedia videoOnly = opened;
    videoOnly.audioIndex = videoOnly.subtitleIndex = -1;
    headset::MatroskaRemuxer remuxer;
    ASSERT_EQ(remuxer.Open(received, videoOnly), "");
    for (const headset::PacketBatch& batch : batches) {
        for (const headset::PacketRecord& record : batch.packets)
            ASSERT_EQ(remuxer.Write(batch, record), "");
    }
    ASSERT_EQ(remuxer.Close(), "");
    const Args passthrough = {"-fps_mode", "passthrough"};
    const std::vector<std::string> ours =
        FrameHashes(Join({{"-i", received, "-map", "0:v"}, passthrough}));
    const std::vector<std::string> source = FrameHashes(Join(
        {{"-i", file.string(), "-map", "0:" + std::to_string(opened.videoIndex)}, passthrough}));
    EXPECT_FALSE(source.empty());
    EXPECT_EQ(ours, source);
}

void ExpectSameTimes(const std::vector<PulledPacket>& records,
                     const std::vector<SourcePacket>& source, bool sameData) {
    ASSERT_EQ(records.size(), source.size());
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].pts, source[i].pts) << i;
        EXPECT_EQ(records[i].dts, source[i].dts) << i;
        if (sameData) {
            EXPECT_EQ(records[i].data, source[i].data) << i;
        }
    }
}

class RealWorldMedia : public ::testing::TestWithParam<CorpusFile> {};

TEST_P(RealWorldMedia, IsListedShownAndPlayedAsTheFileHoldsIt) {
    const CorpusFile& corpusFile = GetParam();
    const std::filesystem::path file = MakeTestMedia(corpusFile.name, corpusFile.ffmpegArgs);
    ASSERT_FALSE(file.empty()) << "ffmpeg could not make the file";

    Catalogue catalogue = BuildCatalogue({WidePath(file)}).catalogue;
    ASSERT_EQ(catalogue.size(), 1u);
    const CatalogueEntry& entry = catalogue[0];
    // Valid UTF-8 whatever the name's bytes, and the file still opens.
    EXPECT_EQ(platform::WideToUtf8(platform::Utf8ToWide(entry.title)), entry.title);
    EXPECT_EQ(entry.title, ToUtf8(WidePath(file.filename())));
    EXPECT_EQ(entry.mediaPath, file.string());
    ExpectThumbnailOfItsKeyFrame(entry, file, corpusFile.videoIndex);

    SessionPair pair(catalogue);
    const headset::OpenedMedia opened = pair.OpenMedia(0);
    ASSERT_EQ(opened.status, 0);
    EXPECT_EQ(opened.mimeType, corpusFile.mimeType);
    EXPECT_EQ(opened.videoIndex, corpusFile.videoIndex);
    EXPECT_EQ(opened.streamCount, corpusFile.streamCount);
    EXPECT_EQ(opened.streams.size(), static_cast<size_t>(corpusFile.streamCount));
    const FormatContextPtr input = OpenInput(file);
    ASSERT_TRUE(input);
    const AVCodecParameters& movie = *input->streams[corpusFile.videoIndex]->codecpar;
    EXPECT_EQ(opened.width, movie.width);
    EXPECT_EQ(opened.height, movie.height);
    if (corpusFile.profile >= 0) {
        EXPECT_EQ(opened.profile, corpusFile.profile);
    }
    if (opened.mimeType.empty())
        return;

    const auto batches =
        PullToEnd(pair, opened.videoIndex, opened.audioIndex, opened.subtitleIndex);
    ASSERT_FALSE(batches.empty());
    EXPECT_EQ(batches.back().status, 1);
    ExpectVideoDecodesToTheSource(opened, batches, file);
    ExpectSameTimes(PacketsOf(batches, opened.videoIndex), SourcePackets(file, opened.videoIndex),
                    false);
    if (opened.audioIndex >= 0) {
        ExpectSameTimes(PacketsOf(batches, opened.audioIndex),
                        SourcePackets(file, opened.audioIndex), true);
    }
    if (opened.subtitleIndex >= 0) {
        ExpectSameTimes(PacketsOf(batches, opened.subtitleIndex),
                        SourcePackets(file, opened.subtitleIndex), true);
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, RealWorldMedia, ::testing::ValuesIn(Corpus()),
                         [](const ::testing::TestParamInfo<CorpusFile>& info) {
                             std::string name;
                             for (const char c : std::string(info.param.name)) {
                                 if (std::isalnum(static_cast<unsigned char>(c)))
                                     name.push_back(c);
                             }
                             return name;
                         });

// A cover is not a movie: without any other picture the file has no video,
// while the open reply still lists every stream.
TEST(RealWorldMediaCoverOnly, HasNoVideo) {
    const std::filesystem::path file =
        MakeTestMedia("corpus-cover-only.m4a",
                      Join({Tone(),
                            {"-i", CoverPicture().string(), "-map", "0", "-map", "1", "-c:a", "aac",
                             "-c:v", "png", "-disposition:v:0", "attached_pic"}}));
    ASSERT_FALSE(file.empty());
    const BuiltCatalogue built = BuildCatalogue({WidePath(file)});
    EXPECT_TRUE(built.catalogue.empty());
    ASSERT_EQ(built.skipped.size(), 1u);
    EXPECT_EQ(built.skipped[0].reason.kind, SkipKind::NoVideoStream);

    Catalogue catalogue{MediaEntry("cover-only", file.string())};
    SessionPair pair(catalogue);
    const headset::OpenedMedia opened = pair.OpenMedia(0);
    ASSERT_EQ(opened.status, 0);
    EXPECT_EQ(opened.videoIndex, -1);
    EXPECT_EQ(opened.mimeType, "");
    EXPECT_EQ(opened.audioIndex, 0);
    EXPECT_EQ(opened.streams.size(), 2u);
}

}  // namespace
