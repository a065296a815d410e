#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>

#include "ConfigurationRecords.h"
#include "platform/CodecProfileNames.h"
#include "platform/FfmpegHandles.h"
#include "streaming/StreamPreparation.h"

namespace {

struct FormatContextFreer {
    void operator()(AVFormatContext* context) const { avformat_free_context(context); }
};

// A format context built in memory, with streams whose codec parameters the
// test sets as a demultiplexer would have.
class SyntheticMediaTest : public ::testing::Test {
protected:
    SyntheticMediaTest() : context_(avformat_alloc_context()) { context_->duration = 7654321; }
    ~SyntheticMediaTest() override {
        // Owners reset the preparation before they destroy it.
        prep_.Reset();
    }

    AVStream& AddStream(AVCodecID codec, const Bytes& extradata = {}) {
        AVStream* stream = avformat_new_stream(context_.get(), nullptr);
        stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
        stream->codecpar->codec_id = codec;
        stream->codecpar->width = 64;
        stream->codecpar->height = 64;
        stream->time_base = {1, 90000};
        stream->avg_frame_rate = {25, 1};
        if (!extradata.empty()) {
            stream->codecpar->extradata =
                static_cast<uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
            std::memcpy(stream->codecpar->extradata, extradata.data(), extradata.size());
            stream->codecpar->extradata_size = static_cast<int>(extradata.size());
        }
        return *stream;
    }

    bool PrepareStream(int32_t index) {
        prep_.formatContext = context_.get();
        return prep_.Prepare(index);
    }

    // Everything but the borrowed format context is as after Reset.
    void ExpectResetValues(bool knownFlags) const {
        EXPECT_TRUE(prep_.mimeType.empty());
        EXPECT_EQ(prep_.videoStreamIndex, -1);
        EXPECT_EQ(prep_.audioStreamIndex, -1);
        EXPECT_EQ(prep_.subtitleStreamIndex, -1);
        EXPECT_EQ(prep_.profileKnown, knownFlags);
        EXPECT_EQ(prep_.levelKnown, knownFlags);
        EXPECT_FALSE(prep_.spareFlagA || prep_.spareFlagB || prep_.hasCsd0 || prep_.hasCsd1);
        EXPECT_TRUE(prep_.csd0.empty() && prep_.csd1.empty());
        EXPECT_EQ(prep_.profile, 0);
        EXPECT_EQ(prep_.level, 0);
        EXPECT_EQ(prep_.frameRate, 0);
        EXPECT_EQ(prep_.duration, 0);
        EXPECT_EQ(prep_.spareValueA, 0);
        EXPECT_EQ(prep_.spareValueB, 0);
        EXPECT_EQ(prep_.h264Filter, nullptr);
        EXPECT_EQ(prep_.hevcFilter, nullptr);
    }

    const Unit sps_ = MakeUnit(0x67, 25);
    const Unit pps_ = MakeUnit(0x68, 4);
    std::unique_ptr<AVFormatContext, FormatContextFreer> context_;
    StreamPreparation prep_;
};

}  // namespace

TEST_F(SyntheticMediaTest, ANewObjectIsReset) {
    ExpectResetValues(false);
    EXPECT_EQ(prep_.formatContext, nullptr);
    EXPECT_EQ(prep_.FlagBits(), 0u);
}

TEST_F(SyntheticMediaTest, StreamsThatDoNotExistAreRefusedWithoutChange) {
    AddStream(AV_CODEC_ID_H264, AvcRecord({sps_}, {pps_}));
    EXPECT_FALSE(prep_.Prepare(0));  // no format context yet
    EXPECT_FALSE(PrepareStream(-1));
    EXPECT_FALSE(PrepareStream(1));
    EXPECT_FALSE(PrepareStream(INT_MIN));
    ExpectResetValues(false);
    EXPECT_EQ(prep_.formatContext, context_.get());
}

TEST_F(SyntheticMediaTest, UnsupportedCodecsAreRefusedWithOnlyTheKnownFlagsSet) {
    for (const AVCodecID codec : {AV_CODEC_ID_MPEG4, AV_CODEC_ID_AV1, AV_CODEC_ID_NONE}) {
        SCOPED_TRACE(avcodec_get_name(codec));
        AddStream(codec, AvcRecord({sps_}, {pps_}));
        EXPECT_FALSE(PrepareStream(static_cast<int32_t>(context_->nb_streams - 1)));
        ExpectResetValues(true);
        EXPECT_EQ(prep_.FlagBits(), 3u);
        prep_.Reset();
    }
}

TEST_F(SyntheticMediaTest, H264StreamGetsItsBlocksCodesFilterAndRates) {
    AddStream(AV_CODEC_ID_AAC);
    AVStream& video = AddStream(AV_CODEC_ID_H264, AvcRecord({sps_}, {pps_}));
    video.codecpar->profile = AV_PROFILE_H264_HIGH;
    video.codecpar->level = 31;
    video.avg_frame_rate = {30000, 1001};

    ASSERT_TRUE(PrepareStream(1));
    EXPECT_EQ(prep_.mimeType, "video/avc");
    EXPECT_EQ(prep_.videoStreamIndex, 1);
    EXPECT_EQ(prep_.csd0, WithStartCodes({sps_}));
    EXPECT_EQ(prep_.csd1, WithStartCodes({pps_}));
    EXPECT_EQ(prep_.profile, 8);
    EXPECT_EQ(prep_.level, 512);
    EXPECT_EQ(prep_.FlagBits(), 0x33u);
    EXPECT_EQ(prep_.frameRate, 30);
    EXPECT_EQ(prep_.duration, 7654321);
    ASSERT_NE(prep_.h264Filter, nullptr);
    // Set up from the prepared stream's parameters.
    EXPECT_EQ(prep_.h264Filter->par_in->extradata_size, video.codecpar->extradata_size);
    EXPECT_EQ(prep_.hevcFilter, nullptr);
    EXPECT_EQ(prep_.AnnexBFilter(), prep_.h264Filter.get());
    EXPECT_STREQ(prep_.h264Filter->filter->name, "h264_mp4toannexb");
}

TEST_F(SyntheticMediaTest, H264WithAnnexBExtradataIsSplitIntoItsSets) {
    AddStream(AV_CODEC_ID_H264, WithStartCodes({MakeUnit(0x09, 2), sps_, pps_}));
    ASSERT_TRUE(PrepareStream(0));
    EXPECT_EQ(prep_.csd0, WithStartCodes({sps_}));
    EXPECT_EQ(prep_.csd1, WithStartCodes({pps_}));
    EXPECT_TRUE(prep_.hasCsd0 && prep_.hasCsd1);
    EXPECT_NE(prep_.h264Filter, nullptr);  // passes Annex-B packets through
}

TEST_F(SyntheticMediaTest, DamagedH264ExtradataLeavesNoFilterButIsStillPrepared) {
    AVStream& video = AddStream(AV_CODEC_ID_H264, Bytes{0x01, 0x64, 0x00, 0x1F});
    video.codecpar->profile = AV_PROFILE_UNKNOWN;
    video.codecpar->level = AV_LEVEL_UNKNOWN;
    ASSERT_TRUE(PrepareStream(0));
    EXPECT_EQ(prep_.profile, 524288);
    EXPECT_EQ(prep_.level, 0);
    EXPECT_EQ(prep_.FlagBits(), 1u);  // profile known, level not
    EXPECT_EQ(prep_.mimeType, "video/avc");
    EXPECT_EQ(prep_.h264Filter, nullptr);
    EXPECT_EQ(prep_.AnnexBFilter(), nullptr);
}

TEST_F(SyntheticMediaTest, HevcStreamGetsCsd0AndItsFilter) {
    const Unit vps = MakeHevcUnit(32, 24);
    const Unit sps = MakeHevcUnit(33, 40);
    const Unit pps = MakeHevcUnit(34, 7);
    AVStream& video =
        AddStream(AV_CODEC_ID_HEVC, HevcRecord({{32, {vps}}, {33, {sps}}, {34, {pps}}}));
    video.codecpar->profile = AV_PROFILE_HEVC_MAIN_10;
    video.codecpar->level = 153;
    video.avg_frame_rate = {24000, 1001};

    ASSERT_TRUE(PrepareStream(0));
    EXPECT_EQ(prep_.mimeType, "video/hevc");
    EXPECT_EQ(prep_.csd0, WithStartCodes({vps, sps, pps}));
    EXPECT_TRUE(prep_.csd1.empty());
    EXPECT_EQ(prep_.FlagBits(), 0x13u);
    EXPECT_EQ(prep_.profile, 2);
    EXPECT_EQ(prep_.level, 524288);
    EXPECT_EQ(prep_.frameRate, 24);
    EXPECT_EQ(prep_.h264Filter, nullptr);
    ASSERT_NE(prep_.hevcFilter, nullptr);
    EXPECT_EQ(prep_.AnnexBFilter(), prep_.hevcFilter.get());
    EXPECT_EQ(prep_.hevcFilter->par_in->extradata_size, video.codecpar->extradata_size);
}

TEST_F(SyntheticMediaTest, VpxStreamsHaveNoBlocksAndNoFilter) {
    AVStream& vp8 = AddStream(AV_CODEC_ID_VP8, Bytes{1, 2, 3});
    vp8.codecpar->profile = 3;
    vp8.codecpar->level = 2;
    ASSERT_TRUE(PrepareStream(0));
    EXPECT_EQ(prep_.mimeType, "video/x-vnd.on2.vp8");
    EXPECT_EQ(prep_.profile, 1);
    EXPECT_EQ(prep_.level, 4);
    EXPECT_EQ(prep_.FlagBits(), 3u);
    EXPECT_TRUE(prep_.csd0.empty() && prep_.csd1.empty());
    EXPECT_EQ(prep_.AnnexBFilter(), nullptr);
    prep_.Reset();

    AVStream& vp9 = AddStream(AV_CODEC_ID_VP9);
    vp9.codecpar->profile = AV_PROFILE_UNKNOWN;
    vp9.codecpar->level = 41;
    ASSERT_TRUE(PrepareStream(1));
    EXPECT_EQ(prep_.mimeType, "video/x-vnd.on2.vp9");
    EXPECT_EQ(prep_.videoStreamIndex, 1);
    EXPECT_EQ(prep_.profile, 0);
    EXPECT_FALSE(prep_.profileKnown);
    EXPECT_EQ(prep_.level, 128);
    EXPECT_EQ(prep_.FlagBits(), 2u);
    EXPECT_EQ(prep_.AnnexBFilter(), nullptr);
}

TEST_F(SyntheticMediaTest, FrameRateRoundsToWholeFramesAndDefaultsTo30) {
    struct Case {
        AVRational rate;
        int32_t expected;
    };
    const Case cases[] = {
        {{0, 0}, 30},
        {{30000, 1001}, 30},
        {{24000, 1001}, 24},
        {{25, 1}, 25},
        {{60000, 1001}, 60},
        {{5, 2}, 3},
        {{1, 0}, 30},
        {{25, -1}, 30},
        {{0, 1}, 0},
        {{INT_MAX, 1}, INT_MAX},
        {{INT_MAX, INT_MAX}, 1},
        {{INT_MAX, 2}, 1073741824},
    };
    AVStream& video = AddStream(AV_CODEC_ID_VP9);
    for (const Case& c : cases) {
        video.avg_frame_rate = c.rate;
        prep_.Reset();
        ASSERT_TRUE(PrepareStream(0));
        EXPECT_EQ(prep_.frameRate, c.expected) << c.rate.num << "/" << c.rate.den;
    }
}

TEST_F(SyntheticMediaTest, DurationIsCopiedEvenWhenUnknown) {
    AddStream(AV_CODEC_ID_VP8);
    context_->duration = AV_NOPTS_VALUE;
    ASSERT_TRUE(PrepareStream(0));
    EXPECT_EQ(prep_.duration, AV_NOPTS_VALUE);
}

TEST_F(SyntheticMediaTest, ResetFreesTheFilterAndForgetsButKeepsTheFormatContextOpen) {
    AddStream(AV_CODEC_ID_H264, AvcRecord({sps_}, {pps_}));
    ASSERT_TRUE(PrepareStream(0));
    prep_.audioStreamIndex = 2;
    prep_.subtitleStreamIndex = 3;
    prep_.Reset();
    ExpectResetValues(false);
    EXPECT_EQ(prep_.formatContext, nullptr);
    // The format context still belongs to its owner and is intact.
    ASSERT_EQ(context_->nb_streams, 1u);
    EXPECT_EQ(context_->streams[0]->codecpar->codec_id, AV_CODEC_ID_H264);
}

TEST_F(SyntheticMediaTest, PreparingAgainDropsTheEarlierFilterAndBlocks) {
    AddStream(AV_CODEC_ID_H264, AvcRecord({sps_}, {pps_}));
    AddStream(AV_CODEC_ID_VP9);
    AddStream(AV_CODEC_ID_MPEG4);
    ASSERT_TRUE(PrepareStream(0));
    ASSERT_NE(prep_.h264Filter, nullptr);

    ASSERT_TRUE(prep_.Prepare(1));
    EXPECT_EQ(prep_.mimeType, "video/x-vnd.on2.vp9");
    EXPECT_EQ(prep_.h264Filter, nullptr);
    EXPECT_EQ(prep_.AnnexBFilter(), nullptr);
    EXPECT_TRUE(prep_.csd0.empty() && prep_.csd1.empty());
    EXPECT_FALSE(prep_.hasCsd0 || prep_.hasCsd1);

    ASSERT_TRUE(prep_.Prepare(0));
    EXPECT_FALSE(prep_.Prepare(2));
    ExpectResetValues(true);
}

// Without a Reset the filter goes with the object; the sanitizer build's leak
// check sees it if it does not.
TEST_F(SyntheticMediaTest, AFilterGoesWithItsObjectWithoutAReset) {
    AddStream(AV_CODEC_ID_H264, AvcRecord({sps_}, {pps_}));
    auto prep = std::make_unique<StreamPreparation>();
    prep->formatContext = context_.get();
    ASSERT_TRUE(prep->Prepare(0));
    ASSERT_NE(prep->h264Filter, nullptr);
    prep.reset();
}

TEST(StreamPreparationTest, FlagBitsFollowTheFieldOrder) {
    StreamPreparation prep;
    bool* flags[] = {&prep.profileKnown, &prep.levelKnown, &prep.spareFlagA,
                     &prep.spareFlagB,   &prep.hasCsd0,    &prep.hasCsd1};
    for (uint32_t bit = 0; bit < 6; ++bit) {
        for (bool* flag : flags)
            *flag = false;
        *flags[bit] = true;
        EXPECT_EQ(prep.FlagBits(), 1u << bit);
    }
}
