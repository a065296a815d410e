#include <gtest/gtest.h>

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueSamples.h"
#include "catalogue/Thumbnail.h"
#include "catalogue/ThumbnailChecks.h"
#include "platform/PathBytes.h"

namespace {

std::wstring Wide(const std::filesystem::path& path) {
    return platform::PathFromOsBytes(path.string());
}

std::vector<uint8_t> ThumbnailOf(const std::filesystem::path& file) {
    if (file.empty())
        return {};
    const Catalogue catalogue = BuildCatalogue({Wide(file)}).catalogue;
    if (catalogue.size() != 1)
        return {};
    return catalogue[0].thumbnail;
}

// Mean colour within `tolerance` of a uniform (blue, green, red).
void ExpectUniform(const std::vector<uint8_t>& thumbnail, double blue, double green, double red) {
    ASSERT_EQ(thumbnail.size(), static_cast<size_t>(THUMBNAIL_BYTES));
    const MeanColour mean = AverageColour(thumbnail);
    EXPECT_NEAR(mean.blue, blue, 6);
    EXPECT_NEAR(mean.green, green, 6);
    EXPECT_NEAR(mean.red, red, 6);
}

TEST(Thumbnail, MatchesWhatFfmpegExtractsFromTheMiddle) {
    for (const auto& file : {samples::H264AacMp4(), samples::HevcMkv(), samples::Vp9Webm(),
                             samples::Vp8Webm(), samples::Mpeg4Avi(), samples::H264Ts()}) {
        ASSERT_FALSE(file.empty());
        const std::vector<uint8_t> ours = ThumbnailOf(file);
        const std::vector<uint8_t> reference = FfmpegMiddleThumbnail(file);
        ASSERT_EQ(ours.size(), static_cast<size_t>(THUMBNAIL_BYTES)) << file;
        ASSERT_EQ(reference.size(), ours.size()) << file;
        EXPECT_FALSE(IsAllZero(ours)) << file;
        EXPECT_GT(AverageColour(ours).green, 60) << file << ": too dark for the test pattern";
        EXPECT_LT(MeanAbsoluteDifference(ours, reference), 8.0) << file;
    }
}

TEST(Thumbnail, ShowsTheFirstKeyFrameAfterTheMiddle) {
    // Red, then green across the middle, then blue.
    ExpectUniform(ThumbnailOf(samples::GreenMiddleMp4()), 0, 128, 0);
    // Here the seek lands between key frames; decoding the P frames that
    // follow it without their reference would give a grey picture.
    ExpectUniform(ThumbnailOf(samples::GreenMiddleMpeg4Ts()), 0, 128, 0);
    // Decoded alone into the one picture buffer its title gets.
    ExpectUniform(ThumbnailOf(samples::GreenMiddleHevcMain10Mp4()), 0, 128, 0);
}

TEST(Thumbnail, FlushesTheDecoderWhenTheFileEndsFirst) {
    ExpectUniform(ThumbnailOf(samples::BlueLastKeyFrameMp4()), 255, 0, 0);
}

// No key frame follows the middle: the key frame before it is shown, also in
// MPEG-TS, which has no index to seek back by, and where reordered pictures
// put the first packet's decoding time before the start time.
TEST(Thumbnail, FallsBackToTheKeyFrameBeforeTheMiddle) {
    ExpectUniform(ThumbnailOf(samples::GreenLastKeyFrameBeforeMiddleTs()), 0, 128, 0);
    ExpectUniform(ThumbnailOf(samples::GreenFirstKeyFrameInterlacedTs()), 0, 128, 0);
}

// A video that never decodes reads at most the limit in each of the three
// looks, then leaves the thumbnail black; without the limit every look reads
// on to the end of the file.
TEST(Thumbnail, GivesUpWithinItsReadLimit) {
    const std::filesystem::path file = samples::NeverDecodingMkv();
    ASSERT_FALSE(file.empty());
    struct LimitCase {
        ThumbnailReadLimit limit;
        int mostPackets;
    };
    const int everything = 3 * 200;
    for (const LimitCase& c : {LimitCase{{50, int64_t{64} << 20}, 3 * 51},
                               LimitCase{{4096, 2000}, 3 * 30}, LimitCase{{}, everything}}) {
        AVFormatContext* opened = nullptr;
        ASSERT_GE(avformat_open_input(&opened, file.c_str(), nullptr, nullptr), 0);
        const FormatContextPtr input(opened);
        ASSERT_GE(avformat_find_stream_info(opened, nullptr), 0);
        const AVCodec* codec = avcodec_find_decoder(opened->streams[0]->codecpar->codec_id);
        const CodecContextPtr decoder(avcodec_alloc_context3(codec));
        ASSERT_GE(avcodec_parameters_to_context(decoder.get(), opened->streams[0]->codecpar), 0);
        ASSERT_GE(avcodec_open2(decoder.get(), codec, nullptr), 0);
        CatalogueEntry entry;
        entry.thumbnail.assign(THUMBNAIL_BYTES, 0);
        const int packetsRead = MakeThumbnail(opened, 0, decoder.get(), entry, c.limit);
        EXPECT_TRUE(IsAllZero(entry.thumbnail));
        EXPECT_LE(packetsRead, c.mostPackets) << c.limit.packets << " " << c.limit.bytes;
        EXPECT_GT(packetsRead, c.mostPackets / 4) << c.limit.packets << " " << c.limit.bytes;
    }
}

TEST(Thumbnail, ScalesThePictureAtItsDecodedSize) {
    // Probed at 320x180 (red); the middle is 160x90 (blue).
    ExpectUniform(ThumbnailOf(samples::ShrinkingTs()), 255, 0, 0);
}

}  // namespace
