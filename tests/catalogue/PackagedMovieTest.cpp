#include <gtest/gtest.h>

#include <optional>
#include <variant>

#include "catalogue/Catalogue.h"
#include "catalogue/PackagedMovie.h"
#include "platform/PathBytes.h"
#include "support/FakeClock.h"
#include "support/PackagedMovieWriter.h"
#include "support/TempDir.h"

namespace {

std::wstring Wide(const std::filesystem::path& path) {
    return platform::PathFromOsBytes(path.string());
}

// Writes the file and reads it the way the catalogue walk does: the entry,
// or the reason when there is none.
TitleOrReason Read(const std::vector<uint8_t>& bytes) {
    TempDir dir;
    const auto file = dir.File("title.vrm");
    WriteFileBytes(file, bytes);
    return ReadPackagedMovie(Wide(file), "title.vrm");
}

// The entry the file became, if it became one.
std::optional<CatalogueEntry> Accepts(const std::vector<uint8_t>& bytes) {
    TitleOrReason title = Read(bytes);
    if (CatalogueEntry* entry = std::get_if<CatalogueEntry>(&title))
        return std::move(*entry);
    return std::nullopt;
}

std::optional<CatalogueEntry> Accepts(const PackagedMovieLayout& layout) {
    return Accepts(PackagedMovieBytes(layout));
}

std::vector<uint8_t> Records(int count) {
    return PatternBytes(static_cast<size_t>(count) * 24, 3);
}

TEST(PackagedMovie, EntryCarriesTheFileFields) {
    TempDir dir;
    const FakeClock clock(777);
    PackagedMovieLayout layout;
    layout.kind = 123456789012;
    layout.width = 3;
    layout.height = 5;
    layout.extraHeader = PatternBytes(37, 11);
    layout.records = Records(3);
    layout.data = PatternBytes(100, 5);
    const std::vector<uint8_t> bytes = PackagedMovieBytes(layout);
    const auto file = dir.File("film.vrm");
    WriteFileBytes(file, bytes);

    const TitleOrReason title = ReadPackagedMovie(Wide(file), "film.vrm");

    ASSERT_TRUE(std::holds_alternative<CatalogueEntry>(title));
    const CatalogueEntry& entry = std::get<CatalogueEntry>(title);
    const int32_t headerSize = 20 + 60 + 37;
    EXPECT_EQ(entry.kind, 123456789012);
    EXPECT_EQ(entry.title, "film.vrm");
    EXPECT_EQ(entry.path, Wide(file));
    EXPECT_TRUE(entry.mediaPath.empty());
    EXPECT_EQ(entry.thumbWidth, 3);
    EXPECT_EQ(entry.thumbHeight, 5);
    EXPECT_EQ(entry.dataOffset, headerSize + 4 + 3 * 24);
    EXPECT_EQ(entry.headerSize, headerSize);
    EXPECT_EQ(entry.recordCount, 3);
    EXPECT_EQ(entry.thumbnail, LayoutPixels(layout));
    EXPECT_EQ(entry.lastUsed, 777u);
}

TEST(PackagedMovie, DataOffsetMustLieBetween21And251658239) {
    for (int32_t accepted : {21, 1000, 251658239}) {
        PackagedMovieLayout layout;
        layout.dataOffset = accepted;
        EXPECT_TRUE(Accepts(layout)) << accepted;
    }
    for (int32_t refused : {20, 0, -1, 251658240, std::numeric_limits<int32_t>::min()}) {
        PackagedMovieLayout layout;
        layout.dataOffset = refused;
        EXPECT_FALSE(Accepts(layout)) << refused;
    }
}

TEST(PackagedMovie, KindMustLieAboveTheMediaFileKind) {
    PackagedMovieLayout layout;
    layout.kind = 100001;
    EXPECT_FALSE(Accepts(layout));
    layout.kind = 100002;
    EXPECT_TRUE(Accepts(layout));
}

TEST(PackagedMovie, PixelCountMustBeWidthTimesHeightTimesFour) {
    PackagedMovieLayout layout;  // 4 x 2
    for (int32_t byteCount : {31, 33, 0, -32}) {
        layout.byteCount = byteCount;
        layout.pixels = std::vector<uint8_t>(32, 1);
        EXPECT_FALSE(Accepts(layout)) << byteCount;
    }
    layout.byteCount = 32;
    EXPECT_TRUE(Accepts(layout));

    PackagedMovieLayout zeroWidth;
    zeroWidth.width = 0;
    EXPECT_FALSE(Accepts(zeroWidth));
    PackagedMovieLayout negativeHeight;
    negativeHeight.height = -2;
    negativeHeight.byteCount = -32;
    negativeHeight.pixels = std::vector<uint8_t>{};
    EXPECT_FALSE(Accepts(negativeHeight));

    // Sizes whose product wraps around in 32 bits to the stored count.
    for (auto [width, height, byteCount] :
         {std::tuple{65536, 65536, 0}, std::tuple{0x40000000, 1, 0}, std::tuple{0x20000001, 2, 8},
          std::tuple{0x7FFFFFFF, 0x7FFFFFFF, 4}}) {
        PackagedMovieLayout wrapping;
        wrapping.width = width;
        wrapping.height = height;
        wrapping.byteCount = byteCount;
        wrapping.pixels = std::vector<uint8_t>(static_cast<size_t>(byteCount), 0);
        EXPECT_FALSE(Accepts(wrapping)) << width << " x " << height;
    }
}

TEST(PackagedMovie, MalformedSizesAreRefusedBeforeAnyAllocation) {
    const std::vector<uint8_t> wellFormed = PackagedMovieBytes({});
    const int32_t fileLength = static_cast<int32_t>(wellFormed.size());

    PackagedMovieLayout negativeHeader;
    negativeHeader.headerSize = -1;
    EXPECT_FALSE(Accepts(negativeHeader));

    PackagedMovieLayout headerPastTheEnd;
    headerPastTheEnd.headerSize = fileLength - 8 + 1;
    EXPECT_FALSE(Accepts(headerPastTheEnd));
    PackagedMovieLayout hugeHeader;
    hugeHeader.headerSize = std::numeric_limits<int32_t>::max();
    EXPECT_FALSE(Accepts(hugeHeader));

    PackagedMovieLayout negativeCount;
    negativeCount.recordCount = -1;
    EXPECT_FALSE(Accepts(negativeCount));

    // A consistent 1 GiB thumbnail in a file of a few dozen bytes.
    PackagedMovieLayout hugeThumbnail;
    hugeThumbnail.width = 16384;
    hugeThumbnail.height = 16384;
    hugeThumbnail.byteCount = 16384 * 16384 * 4;
    hugeThumbnail.pixels = std::vector<uint8_t>(16, 9);
    hugeThumbnail.headerSize = 36;
    EXPECT_FALSE(Accepts(hugeThumbnail));

    // Too short even for the leading fields.
    EXPECT_FALSE(Accepts(std::vector<uint8_t>(wellFormed.begin(), wellFormed.begin() + 6)));
    EXPECT_FALSE(Accepts(std::vector<uint8_t>{}));
}

TEST(PackagedMovie, ARefusalNamesTheFieldOutOfRange) {
    auto with = [](auto change) {
        PackagedMovieLayout layout;  // 4 x 2
        change(layout);
        return PackagedMovieBytes(layout);
    };
    const std::pair<std::vector<uint8_t>, std::string> cases[] = {
        {with([](auto& l) { l.dataOffset = 20; }), "dataOffset 20"},
        {with([](auto& l) { l.headerSize = -1; }), "headerSize -1"},
        {with([](auto& l) { l.kind = 100001; }), "kind 100001"},
        {with([](auto& l) { l.byteCount = 31; }), "thumbnail size 4 x 2 in 31 bytes"},
        {with([](auto& l) { l.recordCount = -1; }), "recordCount -1"},
    };
    for (const auto& [bytes, field] : cases) {
        const TitleOrReason title = Read(bytes);
        ASSERT_TRUE(std::holds_alternative<SkipReason>(title)) << field;
        EXPECT_EQ(DescribeSkipReason(std::get<SkipReason>(title)),
                  "a header field out of range: " + field);
    }
    TempDir dir;
    const TitleOrReason missing = ReadPackagedMovie(Wide(dir.File("gone.vrm")), "gone.vrm");
    ASSERT_TRUE(std::holds_alternative<SkipReason>(missing));
    EXPECT_EQ(std::get<SkipReason>(missing).kind, SkipKind::Missing);
}

TEST(PackagedMovie, ShortRecordTableIsAcceptedWithItsStoredCount) {
    PackagedMovieLayout layout;
    layout.recordCount = 25000;
    layout.records = Records(2);
    const auto shortTable = Accepts(layout);
    ASSERT_TRUE(shortTable);
    EXPECT_EQ(shortTable->recordCount, 25000);

    // The header block ends exactly at the end of the file: no count follows.
    std::vector<uint8_t> bytes = PackagedMovieBytes({});
    bytes.erase(bytes.end() - 4, bytes.end());
    const auto noCount = Accepts(bytes);
    ASSERT_TRUE(noCount);
    EXPECT_EQ(noCount->recordCount, 0);
    EXPECT_EQ(static_cast<size_t>(noCount->headerSize), bytes.size() - 8);
}

}  // namespace
