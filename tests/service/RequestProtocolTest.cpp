#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <thread>

#include "protocol/RequestCodes.h"
#include "support/Bytes.h"
#include "support/SessionPair.h"
#include "support/TempDir.h"
#include "support/TestMedia.h"

using protocol_client::Parsed;
using protocol_client::ReadReply;
using protocol_client::Request;

namespace {

class RequestProtocolTest : public ::testing::Test {
protected:
    Catalogue catalogue;
    SessionPair pair_{catalogue};
};

std::string MakeMedia(const std::string& name, const std::vector<std::string>& args) {
    const auto path = MakeTestMedia(name, args);
    return path.string();
}

// 1280x720 and 1920x1080 pictures, then two audio streams.
std::string TwoVideosTwoAudios() {
    return MakeMedia("two-videos-two-audios.mkv",
                     {"-f",   "lavfi",   "-i",      "testsrc=s=1280x720:d=0.2:r=25",
                      "-f",   "lavfi",   "-i",      "testsrc=s=1920x1080:d=0.2:r=25",
                      "-f",   "lavfi",   "-i",      "sine=f=440:d=0.2:r=48000",
                      "-f",   "lavfi",   "-i",      "sine=f=880:d=0.2:r=44100",
                      "-map", "0",       "-map",    "1",
                      "-map", "2",       "-map",    "3",
                      "-c:v", "libx264", "-preset", "ultrafast",
                      "-c:a", "aac"});
}

}  // namespace

TEST_F(RequestProtocolTest, DescribeTitle) {
    catalogue.push_back(MediaEntry("\xE8\xA7\x86\xE9\xA2\x91.mp4", "unused"));

    // A request without its index addresses no title. The parser checks
    // every reply's code and that only padding follows its fields.
    auto reply = pair_.Exchange(Request({kDescribeTitleRequest}));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->size(), 12u);
    EXPECT_EQ(Parsed(headset::ParseTitleDescription, reply).status, 2);

    for (int32_t invalid : {1, -1, 1000})
        EXPECT_EQ(pair_.DescribeTitle(invalid).status, 2) << invalid;

    reply = pair_.Exchange(headset::DescribeTitleRequest(0));
    const headset::TitleDescription described = Parsed(headset::ParseTitleDescription, reply);
    EXPECT_EQ(described.status, 0);
    EXPECT_EQ(described.title.size(), 10u);
    EXPECT_EQ(described.thumbnail.size(), 180000u);
    EXPECT_EQ(described.thumbWidth, 300);
    EXPECT_EQ(described.thumbHeight, 150);
    EXPECT_EQ(described.title, catalogue[0].title);
    EXPECT_EQ(described.thumbnail, catalogue[0].thumbnail);
    EXPECT_EQ((reply->size() + 4) % 16, 0u);
    EXPECT_EQ(pair_.Session().titleIndex, -1);
}

TEST_F(RequestProtocolTest, DescribeTitleRefusesNamesOf1024BytesOrMore) {
    catalogue.push_back(MediaEntry(std::string(1023, 'a'), "unused"));
    catalogue.push_back(MediaEntry(std::string(1024, 'b'), "unused"));
    const headset::TitleDescription accepted = pair_.DescribeTitle(0);
    EXPECT_EQ(accepted.status, 0);
    EXPECT_EQ(accepted.title.size(), 1023u);

    const auto reply = pair_.Exchange(headset::DescribeTitleRequest(1));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->size(), 12u);
    EXPECT_EQ(Parsed(headset::ParseTitleDescription, reply).status, 1);
}

TEST_F(RequestProtocolTest, UnknownAndShortRequestsGetNoReply) {
    catalogue.push_back(MediaEntry("a.mp4", "unused"));
    EXPECT_TRUE(pair_.GetsNoReply(Request({25606, 0})));
    EXPECT_TRUE(pair_.GetsNoReply(Request({0})));
    EXPECT_TRUE(pair_.GetsNoReply({0x07, 0x00, 0x00}));  // too short for a whole code
}

TEST_F(RequestProtocolTest, OpenMediaTitleStatuses) {
    catalogue.push_back(MediaEntry("missing.mp4", "/nonexistent/missing.mp4"));
    TempDir dir;
    const std::string garbage = dir.File("garbage.mp4").string();
    WriteFileBytes(garbage, PatternBytes(5000));
    catalogue.push_back(MediaEntry("garbage.mp4", garbage));

    for (int32_t invalid : {2, -1}) {
        const auto reply = pair_.Exchange(headset::OpenMediaRequest(invalid));
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->size(), 12u);
        EXPECT_EQ(Parsed(headset::ParseOpenedMedia, reply).status, 5);
    }
    // A request without its index opens title 0.
    EXPECT_EQ(
        Parsed(headset::ParseOpenedMedia, pair_.Exchange(Request({kOpenMediaTitleRequest}))).status,
        2);
    EXPECT_FALSE(pair_.Session().media);
    EXPECT_EQ(pair_.Session().titleIndex, -1);

    const int32_t status = pair_.OpenMedia(1).status;
    EXPECT_TRUE(status == 2 || status == 4) << status;
    EXPECT_FALSE(pair_.Session().media);
}

TEST_F(RequestProtocolTest, OpenMediaTitleChoosesTheLargestPictureAndFirstAudio) {
    const std::string media = TwoVideosTwoAudios();
    ASSERT_FALSE(media.empty());
    catalogue.push_back(MediaEntry("two.mkv", media));
    catalogue[0].lastUsed = 0;

    const headset::OpenedMedia m = pair_.OpenMedia(0);
    EXPECT_EQ(m.status, 0);
    EXPECT_EQ(m.width, 1920);
    EXPECT_EQ(m.height, 1080);
    EXPECT_EQ(m.streamCount, 4);
    EXPECT_EQ(m.videoIndex, 1);
    EXPECT_EQ(m.audioIndex, 2);
    EXPECT_EQ(m.subtitleIndex, -1);
    EXPECT_EQ(m.audioCodec, static_cast<int32_t>(AV_CODEC_ID_AAC));
    EXPECT_EQ(m.sampleRate, 48000);
    EXPECT_EQ(m.channels, 1);
    EXPECT_EQ(m.sampleFormat, static_cast<int32_t>(AV_SAMPLE_FMT_FLTP));
    EXPECT_EQ(m.channelLayout, static_cast<uint64_t>(AV_CH_LAYOUT_MONO));
    EXPECT_EQ(m.mimeType, "video/avc");
    EXPECT_FALSE(m.csd0.empty());
    EXPECT_FALSE(m.csd1.empty());
    EXPECT_EQ(m.flags & 0x30u, 0x30u);
    EXPECT_EQ(m.frameRate, 25);
    EXPECT_EQ(m.spareA, 0);
    EXPECT_EQ(m.spareB, 0);
    ASSERT_EQ(m.streams.size(), 4u);
    EXPECT_EQ(m.streams[0].kind, 0);
    EXPECT_EQ(m.streams[1].kind, 0);
    EXPECT_EQ(m.streams[2].kind, 1);
    EXPECT_EQ(m.streams[3].kind, 1);
    EXPECT_EQ(m.streams[3].sampleRate, 44100);

    EXPECT_EQ(pair_.Session().titleIndex, 0);
    ASSERT_TRUE(pair_.Session().media);
    EXPECT_TRUE(pair_.Session().media->formatContext);
    EXPECT_EQ(pair_.Session().media->streamPrep.audioStreamIndex, 2);
    EXPECT_NE(catalogue[0].lastUsed, 0u);
}

TEST_F(RequestProtocolTest, OpenMediaTitleSkipsTrueHdAndShiftsLaterAudioCodecIds) {
    const std::string media =
        MakeMedia("truehd-then-eac3.mkv", {"-f",     "lavfi",  "-i",      "testsrc=s=64x64:d=0.2",
                                           "-f",     "lavfi",  "-i",      "sine=d=0.2:r=48000",
                                           "-map",   "0",      "-map",    "1",
                                           "-map",   "1",      "-c:v",    "mpeg4",
                                           "-c:a:0", "truehd", "-c:a:1",  "eac3",
                                           "-ac",    "2",      "-strict", "-2"});
    ASSERT_FALSE(media.empty());
    catalogue.push_back(MediaEntry("t.mkv", media));

    const headset::OpenedMedia m = pair_.OpenMedia(0);
    EXPECT_EQ(m.status, 0);
    EXPECT_EQ(m.audioIndex, 2);
    EXPECT_EQ(m.audioCodec, 86056);  // E-AC-3, unchanged in the header
    ASSERT_EQ(m.streams.size(), 3u);
    EXPECT_EQ(m.streams[1].kind, 0);  // TrueHD
    EXPECT_EQ(m.streams[2].kind, 1);
    EXPECT_EQ(m.streams[2].codecId, 86057);
    EXPECT_EQ(m.streams[2].channels, 2);
    EXPECT_EQ(m.streams[2].channelLayout, static_cast<uint64_t>(AV_CH_LAYOUT_STEREO));
    // MPEG-4 Part 2 video is chosen but the headset has no decoder for it.
    EXPECT_EQ(m.videoIndex, 0);
    EXPECT_EQ(m.mimeType, "");
}

TEST_F(RequestProtocolTest, OpenMediaTitleDescribesVp9AndSubtitles) {
    TempDir dir;
    const auto subtitles = dir.File("s.srt");
    {
        std::ofstream out(subtitles);
        out << "1\n00:00:00,000 --> 00:00:00,100\nhello\n";
    }
    const std::string media =
        MakeMedia("vp9-with-subtitles.mkv",
                  {"-f", "lavfi", "-i", "testsrc=s=64x64:d=0.2", "-i", subtitles.string(), "-map",
                   "0", "-map", "1", "-c:v", "libvpx-vp9", "-deadline", "realtime", "-c:s", "srt"});
    ASSERT_FALSE(media.empty());
    catalogue.push_back(MediaEntry("v.mkv", media));

    const headset::OpenedMedia m = pair_.OpenMedia(0);
    EXPECT_EQ(m.status, 0);
    EXPECT_EQ(m.mimeType, "video/x-vnd.on2.vp9");
    EXPECT_EQ(m.mimeType.size(), 19u);
    EXPECT_TRUE(m.csd0.empty());
    EXPECT_TRUE(m.csd1.empty());
    EXPECT_EQ(m.flags & 0x30u, 0u);
    EXPECT_EQ(m.audioIndex, -1);
    EXPECT_EQ(m.audioCodec, 0);
    EXPECT_EQ(m.subtitleIndex, 1);
    EXPECT_EQ(m.subtitleCodec, static_cast<int32_t>(AV_CODEC_ID_SUBRIP));
    ASSERT_EQ(m.streams.size(), 2u);
    EXPECT_EQ(m.streams[1].kind, 2);
    EXPECT_EQ(m.streams[1].codecId, static_cast<int32_t>(AV_CODEC_ID_SUBRIP));
}

TEST_F(RequestProtocolTest, OpenMediaTitleWithoutVideo) {
    const std::string media =
        MakeMedia("audio-only.mka", {"-f", "lavfi", "-i", "sine=d=0.2:r=44100", "-c:a", "aac"});
    ASSERT_FALSE(media.empty());
    catalogue.push_back(MediaEntry("a.mka", media));
    const headset::OpenedMedia m = pair_.OpenMedia(0);
    EXPECT_EQ(m.status, 0);
    EXPECT_EQ(m.width, 1920);
    EXPECT_EQ(m.height, 1080);
    EXPECT_EQ(m.videoIndex, -1);
    EXPECT_EQ(m.mimeType.size(), 0u);
    EXPECT_EQ(m.audioIndex, 0);
}

TEST_F(RequestProtocolTest, OpeningAnotherTitleReleasesThePreviousOne) {
    const std::string media = TwoVideosTwoAudios();
    catalogue.push_back(MediaEntry("two.mkv", media));
    catalogue.push_back(MediaEntry("missing.mkv", "/nonexistent.mkv"));
    ASSERT_TRUE(pair_.Exchange(headset::OpenMediaRequest(0)));
    ASSERT_TRUE(pair_.Session().media);

    // A failed open leaves the connection with no title at all.
    EXPECT_EQ(pair_.OpenMedia(1).status, 2);
    EXPECT_FALSE(pair_.Session().media);
    EXPECT_FALSE(pair_.Session().packaged);
    EXPECT_EQ(pair_.Session().titleIndex, -1);
}
