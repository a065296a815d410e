#include <gtest/gtest.h>

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueSamples.h"
#include "catalogue/Thumbnail.h"
#include "catalogue/ThumbnailChecks.h"
#include "platform/WideText.h"

namespace {

std::wstring Wide(const std::filesystem::path& path) {
    return platform::Utf8ToWide(path.string());
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
}

TEST(Thumbnail, FlushesTheDecoderWhenTheFileEndsFirst) {
    ExpectUniform(ThumbnailOf(samples::BlueLastKeyFrameMp4()), 255, 0, 0);
}

TEST(Thumbnail, ScalesThePictureAtItsDecodedSize) {
    // Probed at 320x180 (red); the middle is 160x90 (blue).
    ExpectUniform(ThumbnailOf(samples::ShrinkingTs()), 255, 0, 0);
}

}  // namespace
