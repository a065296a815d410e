#include <gtest/gtest.h>

#include <algorithm>

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueSamples.h"
#include "catalogue/Thumbnail.h"
#include "catalogue/ThumbnailChecks.h"
#include "platform/MediaInput.h"
#include "platform/PathBytes.h"
#include "support/FakeClock.h"
#include "support/PackagedMovieWriter.h"

namespace {

std::wstring Wide(const std::filesystem::path& path) {
    return platform::PathFromOsBytes(path.string());
}

void ExpectMediaEntry(const CatalogueEntry& entry, const std::filesystem::path& file,
                      uint32_t stamp) {
    SCOPED_TRACE(file.string());
    EXPECT_EQ(entry.kind, MEDIA_FILE_KIND);
    EXPECT_EQ(entry.title, file.filename().string());
    EXPECT_EQ(entry.path, Wide(file));
    EXPECT_EQ(entry.mediaPath, file.string());
    EXPECT_EQ(entry.thumbWidth, 300);
    EXPECT_EQ(entry.thumbHeight, 150);
    EXPECT_EQ(entry.dataOffset, 0);
    EXPECT_EQ(entry.headerSize, 0);
    EXPECT_EQ(entry.recordCount, 0);
    EXPECT_EQ(entry.lastUsed, stamp);
    ASSERT_EQ(entry.thumbnail.size(), 180000u);
    EXPECT_FALSE(IsAllZero(entry.thumbnail));
}

// A copy of `source` with the first occurrence of `from` replaced by `to`
// (same length), or an empty path when `from` is not there.
std::filesystem::path PatchedCopy(const std::filesystem::path& source,
                                  const std::filesystem::path& target, const std::string& from,
                                  const std::string& to) {
    std::vector<uint8_t> bytes = ReadFileBytes(source);
    const auto found = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
    if (found == bytes.end() || from.size() != to.size())
        return {};
    std::copy(to.begin(), to.end(), found);
    WriteFileBytes(target, bytes);
    return target;
}

// A copy of an MP4 whose media data box is all zeros: it probes, but no
// packet decodes.
std::filesystem::path ZeroedMediaData(const std::filesystem::path& source,
                                      const std::filesystem::path& target) {
    std::vector<uint8_t> bytes = ReadFileBytes(source);
    const std::string tag = "mdat";
    const auto found = std::search(bytes.begin(), bytes.end(), tag.begin(), tag.end());
    if (found == bytes.end() || found - bytes.begin() < 4)
        return {};
    const size_t boxStart = static_cast<size_t>(found - bytes.begin()) - 4;
    const size_t boxSize = size_t{bytes[boxStart]} << 24 | size_t{bytes[boxStart + 1]} << 16 |
                           size_t{bytes[boxStart + 2]} << 8 | bytes[boxStart + 3];
    if (boxSize < 8 || boxStart + boxSize > bytes.size())
        return {};
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(boxStart + 8),
              bytes.begin() + static_cast<std::ptrdiff_t>(boxStart + boxSize), 0);
    WriteFileBytes(target, bytes);
    return target;
}

std::filesystem::path TruncatedCopy(const std::filesystem::path& source,
                                    const std::filesystem::path& target, double keptFraction) {
    std::vector<uint8_t> bytes = ReadFileBytes(source);
    bytes.resize(static_cast<size_t>(static_cast<double>(bytes.size()) * keptFraction));
    WriteFileBytes(target, bytes);
    return target;
}

TEST(MediaProbe, MixedListGivesOneEntryPerUsableFileInOrder) {
    TempDir dir;
    const FakeClock clock(4242);
    const auto packaged = dir.File("movie.vrw");
    WriteFileBytes(packaged, PackagedMovieBytes({}));
    const auto truncatedMp4 = TruncatedCopy(samples::H264AacMp4(), dir.File("cut.mp4"), 0.5);
    const std::vector<std::filesystem::path> media = {samples::H264AacMp4(), samples::HevcMkv(),
                                                      samples::Vp9Webm(),    samples::Vp8Webm(),
                                                      samples::Mpeg4Avi(),   samples::H264Ts()};
    for (const auto& file : media)
        ASSERT_FALSE(file.empty());

    const Catalogue catalogue =
        BuildCatalogue({Wide(media[0]), Wide(samples::AudioOnlyM4a()), Wide(media[1]),
                        Wide(packaged), Wide(media[2]), Wide(truncatedMp4), Wide(media[3]),
                        Wide(dir.File("missing.mp4")), Wide(media[4]), Wide(media[5])})
            .catalogue;

    ASSERT_EQ(catalogue.size(), 7u);
    ExpectMediaEntry(catalogue[0], media[0], 4242);
    ExpectMediaEntry(catalogue[1], media[1], 4242);
    EXPECT_EQ(catalogue[2].kind, 100002);
    EXPECT_EQ(catalogue[2].title, "movie.vrw");
    EXPECT_TRUE(catalogue[2].mediaPath.empty());
    ExpectMediaEntry(catalogue[3], media[2], 4242);
    ExpectMediaEntry(catalogue[4], media[3], 4242);
    ExpectMediaEntry(catalogue[5], media[4], 4242);
    ExpectMediaEntry(catalogue[6], media[5], 4242);
}

TEST(MediaProbe, ChineseFileNameBecomesUtf8) {
    TempDir dir;
    const std::string name = "\xE5\xBD\xB1\xE7\x89\x87\xE6\xB5\x8B\xE8\xAF\x95.mp4";  // 影片测试
    const auto file = dir.Path() / name;
    std::filesystem::copy_file(samples::H264AacMp4(), file);
    const std::wstring widePath = Wide(dir.Path()) + L"/\u5F71\u7247\u6D4B\u8BD5.mp4";

    const Catalogue catalogue = BuildCatalogue({widePath}).catalogue;

    ASSERT_EQ(catalogue.size(), 1u);
    EXPECT_EQ(catalogue[0].title, name);
    EXPECT_EQ(catalogue[0].path, widePath);
    EXPECT_EQ(catalogue[0].mediaPath, dir.Path().string() + "/" + name);
    EXPECT_FALSE(IsAllZero(catalogue[0].thumbnail));
}

TEST(MediaProbe, ChoosesTheLargestVideoStreamAndKeepsTheFirstOnATie) {
    // The first stream of each file is red, the second blue.
    struct Case {
        std::filesystem::path file;
        bool expectBlue;
    };
    const Case cases[] = {
        {samples::TwoVideoStreams("equal_sums.mkv", "128x72", "72x128"), false},
        {samples::TwoVideoStreams("larger_second.mkv", "128x72", "160x90"), true},
        {samples::TwoVideoStreams("larger_first.mkv", "160x90", "128x72"), false},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(c.file.empty());
        const Catalogue catalogue = BuildCatalogue({Wide(c.file)}).catalogue;
        ASSERT_EQ(catalogue.size(), 1u) << c.file;
        const MeanColour mean = AverageColour(catalogue[0].thumbnail);
        EXPECT_NEAR(c.expectBlue ? mean.blue : mean.red, 254, 6) << c.file;
        EXPECT_NEAR(c.expectBlue ? mean.red : mean.blue, 0, 6) << c.file;
    }
}

TEST(MediaProbe, FilesWithoutUsableVideoAreLeftOut) {
    TempDir dir;
    const auto unknownCodec = PatchedCopy(samples::H264Mkv(), dir.File("unknown_codec.mkv"),
                                          "V_MPEG4/ISO/AVC", "V_MPEG4/ISO/XYZ");
    ASSERT_FALSE(unknownCodec.empty());
    const auto notMedia = dir.File("notes.txt");
    WriteFileBytes(notMedia, PatternBytes(5000));
    const auto empty = dir.File("empty.mp4");
    WriteFileBytes(empty, {});
    const auto cutBeforeIndex = TruncatedCopy(samples::H264AacMp4(), dir.File("cut.mp4"), 0.5);

    const BuiltCatalogue built =
        BuildCatalogue({Wide(samples::AudioOnlyM4a()), Wide(unknownCodec), Wide(notMedia),
                        Wide(empty), Wide(cutBeforeIndex), Wide(dir.File("missing.mkv"))});

    EXPECT_TRUE(built.catalogue.empty());
    // Each skipped with its reason, FFmpeg's own words where FFmpeg refused it.
    const std::string refused = "not a media file: " + FfmpegErrorText(AVERROR_INVALIDDATA);
    const std::vector<std::string> reasons = {
        "no video stream", "no decoder for its video: none", refused, refused, refused, "missing",
    };
    ASSERT_EQ(built.skipped.size(), reasons.size());
    for (size_t i = 0; i < reasons.size(); ++i) {
        EXPECT_EQ(DescribeSkipReason(built.skipped[i].reason), reasons[i]) << i;
    }
    EXPECT_EQ(built.skipped[5].path, Wide(dir.File("missing.mkv")));
}

TEST(MediaProbe, VideoThatYieldsNoPictureKeepsAnAllZeroThumbnail) {
    TempDir dir;
    const auto zeroed = ZeroedMediaData(samples::FastStartMp4(), dir.File("zeroed.mp4"));
    ASSERT_FALSE(zeroed.empty());
    // Cut files whose index is still there: packets run past the end.
    const auto cutMp4 = TruncatedCopy(samples::FastStartMp4(), dir.File("cut_faststart.mp4"), 0.3);
    const auto cutTs = TruncatedCopy(samples::H264Ts(), dir.File("cut.ts"), 0.4);

    const Catalogue catalogue = BuildCatalogue({Wide(zeroed), Wide(cutMp4), Wide(cutTs)}).catalogue;

    ASSERT_EQ(catalogue.size(), 3u);
    for (const CatalogueEntry& entry : catalogue) {
        EXPECT_EQ(entry.kind, MEDIA_FILE_KIND);
        EXPECT_EQ(entry.thumbWidth, 300);
        EXPECT_EQ(entry.thumbHeight, 150);
        EXPECT_EQ(entry.thumbnail.size(), 180000u);
    }
    EXPECT_TRUE(IsAllZero(catalogue[0].thumbnail));
}

}  // namespace
