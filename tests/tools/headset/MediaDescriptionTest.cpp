#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/codec_id.h>
}

#include "tools/headset/MediaDescription.h"

using namespace headset;

namespace {

constexpr uint32_t kBothKnown = 3;

OpenedMedia Video(const char* mimeType, uint32_t flags, int32_t profile, int32_t level) {
    OpenedMedia media;
    media.mimeType = mimeType;
    media.videoIndex = 0;
    media.width = 1920;
    media.height = 1080;
    media.flags = flags;
    media.profile = profile;
    media.level = level;
    return media;
}

}  // namespace

// The reply carries the decoder's codes; each is shown with what the decoder
// takes it for.
TEST(MediaDescription, ProfilesAndLevelsCarryTheirNames) {
    struct Case {
        const char* mimeType;
        uint32_t flags;
        int32_t profile, level;
        const char* expected;
    };
    const Case cases[] = {
        {"video/avc", kBothKnown, 8, 4096, "profile 8 (High), level 4096 (4.1),"},
        {"video/avc", kBothKnown, 65536, 2, "profile 65536 (Constrained Baseline), level 2 (1b),"},
        // The server's code for a profile outside its table; a level that is
        // no single code.
        {"video/avc", kBothKnown, 524288, 3, "profile 524288, level 3,"},
        {"video/hevc", kBothKnown, 2, 1048576, "profile 2 (Main 10), level 1048576 (Main tier 6),"},
        {"video/hevc", kBothKnown, 4096, 8192, "profile 4096 (Rext), level 8192 (High tier 4.1),"},
        {"video/x-vnd.on2.vp8", kBothKnown, 1, 8, "profile 1 (Main), level 8 (version 3),"},
        {"video/x-vnd.on2.vp9", kBothKnown, 4, 128, "profile 4 (Profile 2), level 128 (4.1),"},
        {"video/x-vnd.on2.vp9", kBothKnown, 1, 1 << 20, "level 1048576,"},
        {"video/avc", 0, 8, 4096, "profile unknown, level unknown,"},
    };
    for (const Case& c : cases) {
        const std::string line = DescribeMedia(Video(c.mimeType, c.flags, c.profile, c.level))[1];
        EXPECT_NE(line.find(c.expected), std::string::npos) << line;
    }
}

TEST(MediaDescription, StreamsReadAsAList) {
    OpenedMedia media = Video("video/hevc", kBothKnown, 1, 1);
    media.videoIndex = 1;
    media.streamCount = 5;
    // Audio codecs above 86047 are one higher in the records than in FFmpeg.
    media.streams = {{},
                     {},
                     {1, AV_CODEC_ID_AAC, 48000, 2, 8, 3},
                     {2, AV_CODEC_ID_SUBRIP},
                     {1, AV_CODEC_ID_EAC3 + 1, 44100, 1, 8, 4}};
    EXPECT_EQ(DescribeMedia(media)[0],
              "5 streams: stream 0: other; stream 1: video hevc 1920x1080; stream 2: audio aac "
              "48000 Hz, 2 channels; stream 3: subtitle subrip; stream 4: audio eac3 44100 Hz, 1 "
              "channel");
}
