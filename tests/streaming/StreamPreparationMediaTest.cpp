#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/FfmpegHandles.h"
#include "streaming/StreamPreparation.h"
#include "support/Bytes.h"
#include "support/TempDir.h"
#include "support/TestMedia.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct MediaCase {
    const char* name;
    std::vector<std::string> ffmpegArgs;
    const char* mimeType;
    // What ffprobe reports, the table inputs.
    const char* probeProfile;
    const char* probeLevel;
    const char* probeFrameRate;
    // What the headset is sent.
    int32_t profile;
    bool profileKnown;
    int32_t level;
    bool levelKnown;
    int32_t frameRate;
    // For H.264 and HEVC: the raw format ffmpeg writes the Annex-B stream in.
    const char* annexBFormat;
};

// Keeps test names and failure messages readable.
void PrintTo(const MediaCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<std::string> TestPicture(const char* rate, std::vector<std::string> encoder) {
    std::vector<std::string> args{
        "-f",        "lavfi", "-i",       std::string("testsrc=size=64x64:rate=") + rate,
        "-frames:v", "5",     "-pix_fmt", "yuv420p"};
    args.insert(args.end(), encoder.begin(), encoder.end());
    return args;
}

std::vector<MediaCase> MediaCases() {
    return {
        {"streamprep-h264-baseline.mp4",
         TestPicture("30000/1001", {"-c:v", "libx264", "-profile:v", "baseline"}), "video/avc",
         "Constrained Baseline", "10", "30000/1001", 65536, true, 2, true, 30, "h264"},
        {"streamprep-h264-main.mkv",
         TestPicture("25", {"-c:v", "libx264", "-profile:v", "main", "-level:v", "3.1"}),
         "video/avc", "Main", "31", "25/1", 2, true, 512, true, 25, "h264"},
        {"streamprep-h264-high.ts", TestPicture("24000/1001", {"-c:v", "libx264"}), "video/avc",
         "High", "10", "24000/1001", 8, true, 2, true, 24, "h264"},
        {"streamprep-hevc-main.mp4", TestPicture("25", {"-c:v", "libx265"}), "video/hevc", "Main",
         "30", "25/1", 1, true, 64, true, 25, "hevc"},
        {"streamprep-vp8.webm", TestPicture("25", {"-c:v", "libvpx"}), "video/x-vnd.on2.vp8", "0",
         "-99", "25/1", 1, true, 0, false, 25, nullptr},
        {"streamprep-vp9.webm", TestPicture("24000/1001", {"-c:v", "libvpx-vp9"}),
         "video/x-vnd.on2.vp9", "Profile 0", "-99", "24000/1001", 1, true, 0, false, 24, nullptr},
    };
}

// ffprobe's key=value report on the first video stream and the format; the
// first occurrence of a key wins.
std::map<std::string, std::string> Probe(const std::filesystem::path& media) {
    TempDir dir;
    const std::filesystem::path report = dir.File("probe.txt");
    RunProgram({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                "stream=profile,level,avg_frame_rate:format=duration", "-of", "default=nw=1", "-o",
                report.string(), media.string()});
    std::map<std::string, std::string> values;
    std::ifstream in(report);
    for (std::string line; std::getline(in, line);) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            values.emplace(line.substr(0, equals), line.substr(equals + 1));
    }
    return values;
}

struct NalUnit {
    Bytes bytes;
    int type;
};

// Splits an Annex-B stream at its start codes; `typeOf` reads a unit's type.
std::vector<NalUnit> SplitAnnexB(const Bytes& stream, int (*typeOf)(const Bytes&)) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 3 <= stream.size(); ++i) {
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1)
            starts.push_back(i);
    }
    std::vector<NalUnit> units;
    for (size_t k = 0; k < starts.size(); ++k) {
        size_t end = k + 1 < starts.size() ? starts[k + 1] : stream.size();
        while (end > starts[k] + 3 && stream[end - 1] == 0)
            --end;
        Bytes unit(stream.begin() + static_cast<std::ptrdiff_t>(starts[k] + 3),
                   stream.begin() + static_cast<std::ptrdiff_t>(end));
        if (!unit.empty())
            units.push_back({unit, typeOf(unit)});
    }
    return units;
}

int AvcType(const Bytes& unit) {
    return unit[0] & 0x1F;
}
int HevcType(const Bytes& unit) {
    return (unit[0] >> 1) & 0x3F;
}

// The parameter sets (and, for HEVC, SEI) that ffmpeg's own Annex-B
// conversion writes before the first picture, each behind 00 00 00 01.
Bytes ParameterSetsBeforeFirstPicture(const std::filesystem::path& media,
                                      const std::string& format) {
    TempDir dir;
    const std::filesystem::path out = dir.File("first." + format);
    const std::string filter = format + "_mp4toannexb";
    if (RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", media.string(), "-map", "0:v", "-c",
                    "copy", "-bsf:v", filter, "-frames:v", "1", "-f", format, out.string()})
            .exitCode != 0) {
        return {};
    }
    const bool avc = format == "h264";
    Bytes sets;
    for (const NalUnit& unit : SplitAnnexB(ReadFileBytes(out), avc ? AvcType : HevcType)) {
        const bool picture = avc ? (unit.type >= 1 && unit.type <= 5) : unit.type < 32;
        if (picture)
            break;
        const bool wanted =
            avc ? (unit.type == 7 || unit.type == 8)
                : (unit.type >= 32 && unit.type <= 34) || unit.type == 39 || unit.type == 40;
        if (!wanted)
            continue;
        sets.insert(sets.end(), {0, 0, 0, 1});
        sets.insert(sets.end(), unit.bytes.begin(), unit.bytes.end());
    }
    return sets;
}

FormatContextPtr OpenMedia(const std::filesystem::path& path) {
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0)
        return nullptr;
    FormatContextPtr owned(context);
    if (avformat_find_stream_info(context, nullptr) < 0)
        return nullptr;
    return owned;
}

int32_t FirstVideoStream(const AVFormatContext& context) {
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        if (context.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            return static_cast<int32_t>(i);
    }
    return -1;
}

bool StartsWithStartCode(const uint8_t* data, int size) {
    if (size >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 0 && data[3] == 1)
        return true;
    return size >= 3 && data[0] == 0 && data[1] == 0 && data[2] == 1;
}

class StreamPreparationMediaTest : public ::testing::TestWithParam<MediaCase> {
protected:
    void SetUp() override {
        media_ = MakeTestMedia(GetParam().name, GetParam().ffmpegArgs);
        ASSERT_FALSE(media_.empty()) << "ffmpeg could not make " << GetParam().name;
        context_ = OpenMedia(media_);
        ASSERT_NE(context_, nullptr);
        videoIndex_ = FirstVideoStream(*context_);
        prep_.formatContext = context_.get();
        ASSERT_TRUE(prep_.Prepare(videoIndex_));
    }

    // Teardown order of a session: the demultiplexer first, then Reset.
    void TearDown() override {
        context_.reset();
        prep_.Reset();
    }

    std::filesystem::path media_;
    FormatContextPtr context_;
    int32_t videoIndex_ = -1;
    StreamPreparation prep_;
};

}  // namespace

TEST_P(StreamPreparationMediaTest, DecoderValuesMapWhatFfprobeReports) {
    const MediaCase& c = GetParam();
    const std::map<std::string, std::string> probe = Probe(media_);
    EXPECT_EQ(probe.at("profile"), c.probeProfile);
    EXPECT_EQ(probe.at("level"), c.probeLevel);
    EXPECT_EQ(probe.at("avg_frame_rate"), c.probeFrameRate);

    EXPECT_EQ(prep_.mimeType, c.mimeType);
    EXPECT_EQ(prep_.videoStreamIndex, videoIndex_);
    EXPECT_EQ(prep_.profile, c.profile);
    EXPECT_EQ(prep_.profileKnown, c.profileKnown);
    EXPECT_EQ(prep_.level, c.level);
    EXPECT_EQ(prep_.levelKnown, c.levelKnown);
    EXPECT_EQ(prep_.frameRate, c.frameRate);
    const double seconds = std::stod(probe.at("duration"));
    EXPECT_EQ(prep_.duration, std::llround(seconds * 1e6));
    EXPECT_EQ(prep_.duration, context_->duration);
    EXPECT_FALSE(prep_.spareFlagA || prep_.spareFlagB);
}

TEST_P(StreamPreparationMediaTest, BlocksEqualTheParameterSetsFfmpegPutsBeforeThePicture) {
    const MediaCase& c = GetParam();
    if (c.annexBFormat == nullptr) {
        EXPECT_TRUE(prep_.csd0.empty() && prep_.csd1.empty());
        EXPECT_FALSE(prep_.hasCsd0 || prep_.hasCsd1);
        EXPECT_EQ(prep_.AnnexBFilter(), nullptr);
        return;
    }
    EXPECT_TRUE(prep_.hasCsd0);
    EXPECT_EQ(prep_.hasCsd1, std::string(c.annexBFormat) == "h264");
    Bytes both = prep_.csd0;
    both.insert(both.end(), prep_.csd1.begin(), prep_.csd1.end());
    const Bytes expected = ParameterSetsBeforeFirstPicture(media_, c.annexBFormat);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(both, expected);
    ASSERT_NE(prep_.AnnexBFilter(), nullptr);
    EXPECT_EQ(prep_.AnnexBFilter()->par_in->extradata_size,
              context_->streams[videoIndex_]->codecpar->extradata_size);
}

TEST_P(StreamPreparationMediaTest, VideoPacketsComeOutOfTheFilterInAnnexBForm) {
    const MediaCase& c = GetParam();
    AVBSFContext* filter = prep_.AnnexBFilter();
    if (c.annexBFormat == nullptr) {
        EXPECT_EQ(filter, nullptr);
        return;
    }
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter, std::string(c.annexBFormat) == "h264" ? prep_.h264Filter.get()
                                                            : prep_.hevcFilter.get());

    PacketPtr packet(av_packet_alloc());
    while (av_read_frame(context_.get(), packet.get()) >= 0 &&
           packet->stream_index != videoIndex_) {
        av_packet_unref(packet.get());
    }
    ASSERT_EQ(packet->stream_index, videoIndex_);
    ASSERT_GT(packet->size, 0);
    const bool alreadyAnnexB = StartsWithStartCode(packet->data, packet->size);
    EXPECT_EQ(alreadyAnnexB, media_.extension() == ".ts");

    ASSERT_EQ(av_bsf_send_packet(filter, packet.get()), 0);
    PacketPtr filtered(av_packet_alloc());
    ASSERT_EQ(av_bsf_receive_packet(filter, filtered.get()), 0);
    EXPECT_TRUE(StartsWithStartCode(filtered->data, filtered->size));
}

INSTANTIATE_TEST_SUITE_P(Files, StreamPreparationMediaTest, ::testing::ValuesIn(MediaCases()),
                         [](const ::testing::TestParamInfo<MediaCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             }
                             return name;
                         });

TEST(StreamPreparationRefusalTest, Mpeg4Part2IsRefusedWithOnlyTheKnownFlags) {
    const std::filesystem::path media =
        MakeTestMedia("streamprep-mpeg4.avi", TestPicture("25", {"-c:v", "mpeg4"}));
    ASSERT_FALSE(media.empty());
    FormatContextPtr context = OpenMedia(media);
    ASSERT_NE(context, nullptr);
    StreamPreparation prep;
    prep.formatContext = context.get();
    EXPECT_FALSE(prep.Prepare(FirstVideoStream(*context)));
    EXPECT_TRUE(prep.mimeType.empty());
    EXPECT_EQ(prep.FlagBits(), 3u);
    EXPECT_EQ(prep.videoStreamIndex, -1);
    EXPECT_TRUE(prep.csd0.empty() && prep.csd1.empty());
    EXPECT_EQ(prep.profile, 0);
    EXPECT_EQ(prep.level, 0);
    EXPECT_EQ(prep.frameRate, 0);
    EXPECT_EQ(prep.duration, 0);
    EXPECT_EQ(prep.AnnexBFilter(), nullptr);
    context.reset();
    prep.Reset();
}
