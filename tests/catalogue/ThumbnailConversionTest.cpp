#include <gtest/gtest.h>

extern "C" {
#include <libavutil/dovi_meta.h>
}

#include <cstring>
#include <memory>
#include <string>

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueSamples.h"
#include "catalogue/Thumbnail.h"
#include "catalogue/ThumbnailChecks.h"
#include "catalogue/ThumbnailConversion.h"
#include "platform/PathBytes.h"

namespace {

CatalogueEntry EntryOf(const std::filesystem::path& file) {
    const Catalogue catalogue =
        BuildCatalogue({platform::PathFromOsBytes(file.string())}).catalogue;
    return catalogue.size() == 1 ? catalogue[0] : CatalogueEntry{};
}

// The scaler as pictures were always made small, which the tool reaches only
// when told the matrix that the scaler takes by default.
const std::string kAsDecoded =
    "scale=300:150:flags=fast_bilinear+accurate_rnd:in_color_matrix=bt601:out_color_matrix=bt601";

std::string ToneMapped(const std::string& peak) {
    return "scale=300:150:flags=fast_bilinear+accurate_rnd,format=yuv444p16le,"
           "zscale=transfer=linear:npl=100:primaries=bt709:range=full,"
           "format=gbrpf32le,tonemap=tonemap=mobius" +
           peak + ",zscale=transfer=bt709:primaries=bt709:matrix=gbr:range=full,format=gbrp";
}

// Each colour system's picture is the one FFmpeg's own filters make of it:
// standard and untagged ones byte for byte as before, HDR ones tone-mapped
// close to the standard picture they were made from (before tone mapping
// they differed from it by about 50).
TEST(ThumbnailConversion, EachColourSystemGivesTheOracleFiltersPicture) {
    struct ColourCase {
        const char* system;
        ThumbnailTone tone;
        std::string oracle;
        double mostFromStandard;  // 0: not compared
    };
    const CatalogueEntry standard = EntryOf(samples::ColourSystemMp4("bt709"));
    for (const ColourCase& c : {
             ColourCase{"bt709", ThumbnailTone::AsDecoded, kAsDecoded, 0},
             ColourCase{"untagged", ThumbnailTone::AsDecoded, kAsDecoded, 0},
             ColourCase{"pq", ThumbnailTone::ToneMapped, ToneMapped(""), 60},
             // Without light levels the picture is taken as mastered for
             // 1000 cd/m².
             ColourCase{"pq-bare", ThumbnailTone::ToneMapped, ToneMapped(":peak=10"), 60},
             ColourCase{"hlg", ThumbnailTone::ToneMapped, ToneMapped(":peak=1"), 60},
         }) {
        const std::filesystem::path file = samples::ColourSystemMp4(c.system);
        ASSERT_FALSE(file.empty()) << c.system;
        const CatalogueEntry entry = EntryOf(file);
        const std::vector<uint8_t> oracle = FfmpegPictureAt(file, MiddleSeconds(file), c.oracle);
        ASSERT_EQ(entry.thumbnail.size(), static_cast<size_t>(THUMBNAIL_BYTES)) << c.system;
        ASSERT_EQ(oracle.size(), entry.thumbnail.size()) << c.system;
        EXPECT_EQ(entry.thumbnailTone, c.tone) << c.system;
        if (c.tone == ThumbnailTone::AsDecoded)
            EXPECT_TRUE(entry.thumbnail == oracle) << c.system;
        else
            EXPECT_LT(MeanAbsoluteDifference(entry.thumbnail, oracle), 1.0) << c.system;
        if (c.mostFromStandard > 0) {
            EXPECT_LT(MeanAbsoluteDifference(entry.thumbnail, standard.thumbnail),
                      c.mostFromStandard)
                << c.system;
        }
    }
}

struct ParametersFreer {
    void operator()(AVCodecParameters* parameters) const { avcodec_parameters_free(&parameters); }
};

// A small 10-bit PQ picture with a ramp across it, as a Dolby Vision
// decoder hands it over with the metadata of `rpuProfile`.
FramePtr DolbyVisionFrame(uint8_t rpuProfile, bool fullRangeBase) {
    FramePtr frame(av_frame_alloc());
    frame->width = 64;
    frame->height = 32;
    frame->format = AV_PIX_FMT_YUV420P10;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return {};
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? 32 : 16;
        const int columns = plane == 0 ? 64 : 32;
        for (int row = 0; row < rows; ++row) {
            auto* samples =
                reinterpret_cast<uint16_t*>(frame->data[plane] + row * frame->linesize[plane]);
            for (int column = 0; column < columns; ++column)
                samples[column] = static_cast<uint16_t>(plane == 0 ? 64 + column * 14 : 512 + row);
        }
    }
    frame->color_trc = AVCOL_TRC_SMPTE2084;
    frame->color_primaries = AVCOL_PRI_BT2020;
    frame->colorspace = AVCOL_SPC_BT2020_NCL;
    frame->color_range = AVCOL_RANGE_MPEG;
    size_t size = 0;
    AVDOVIMetadata* metadata = av_dovi_metadata_alloc(&size);
    AVBufferRef* buffer =
        metadata != nullptr
            ? av_buffer_create(reinterpret_cast<uint8_t*>(metadata), size, nullptr, nullptr, 0)
            : nullptr;
    if (buffer == nullptr) {
        av_free(metadata);
        return {};
    }
    av_dovi_get_header(metadata)->vdr_rpu_profile = rpuProfile;
    av_dovi_get_header(metadata)->bl_video_full_range_flag = fullRangeBase ? 1 : 0;
    if (av_frame_new_side_data_from_buf(frame.get(), AV_FRAME_DATA_DOVI_METADATA, buffer) ==
        nullptr) {
        av_buffer_unref(&buffer);
        return {};
    }
    return frame;
}

// Profile 8 carries an HDR10 base layer, which is tone-mapped; profile 5's
// base layer is in IPT colours, and its picture stays what it always was.
TEST(ThumbnailConversion, DolbyVisionWithoutAnHdr10BaseKeepsThePictureAsDecoded) {
    const std::unique_ptr<AVCodecParameters, ParametersFreer> stream(avcodec_parameters_alloc());
    const auto untagged = DolbyVisionFrame(1, false);
    ASSERT_TRUE(untagged);
    untagged->color_trc = AVCOL_TRC_UNSPECIFIED;
    std::vector<uint8_t> asDecoded(THUMBNAIL_BYTES);
    ASSERT_EQ(ConvertIntoThumbnail(*untagged, *stream, asDecoded.data()), ThumbnailTone::AsDecoded);
    struct ProfileCase {
        uint8_t rpuProfile;
        bool fullRangeBase;
        ThumbnailTone tone;
    };
    for (const ProfileCase& c : {ProfileCase{1, false, ThumbnailTone::ToneMapped},
                                 ProfileCase{0, true, ThumbnailTone::NotToneMapped}}) {
        const auto frame = DolbyVisionFrame(c.rpuProfile, c.fullRangeBase);
        ASSERT_TRUE(frame);
        std::vector<uint8_t> thumbnail(THUMBNAIL_BYTES);
        EXPECT_EQ(ConvertIntoThumbnail(*frame, *stream, thumbnail.data()), c.tone);
        EXPECT_EQ(thumbnail == asDecoded, c.tone == ThumbnailTone::NotToneMapped)
            << int{c.rpuProfile};
    }
}

}  // namespace
