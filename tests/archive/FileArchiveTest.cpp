#include <gtest/gtest.h>

#include "archive/bsFileRead.h"
#include "archive/bsFileWrite.h"
#include "platform/PathBytes.h"
#include "support/Bytes.h"
#include "support/TempDir.h"

namespace {

std::wstring Wide(const std::filesystem::path& path) {
    return path.wstring();
}

}  // namespace

TEST(FileArchive, ByteOrderMarkLeadsTheFile) {
    TempDir dir;
    const auto path = dir.File("log.bin");
    {
        bsFileWrite writer(Wide(path), L"w+b");
        ASSERT_TRUE(writer.IsOpen());
        uint16_t mark = 0xFEFF;
        writer.Serialize(mark);
        EXPECT_EQ(writer.Tell(), 2u);
    }
    EXPECT_EQ(ReadFileBytes(path), (std::vector<uint8_t>{0xFF, 0xFE}));
}

TEST(FileArchive, AppendModeAddsAtTheEnd) {
    TempDir dir;
    const auto path = dir.File("append.bin");
    for (uint8_t value : {uint8_t{1}, uint8_t{2}}) {
        bsFileWrite writer(Wide(path), L"ab");
        writer.Serialize(value);
    }
    EXPECT_EQ(ReadFileBytes(path), (std::vector<uint8_t>{1, 2}));
}

TEST(FileArchive, MissingFileReadsNothing) {
    TempDir dir;
    bsFileRead reader(Wide(dir.File("absent.vrm")), L"rb");
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_FALSE(reader.IsStoring());
    EXPECT_EQ(reader.Tell(), 0u);
    EXPECT_EQ(reader.Size(), 0u);
    EXPECT_TRUE(reader.IsEnd());
    EXPECT_FALSE(reader.Seek(0, 0));
    int32_t value = 77;
    reader.Serialize(value);
    EXPECT_EQ(value, 77);

    bsFileRead noPath(nullptr, L"rb");
    EXPECT_FALSE(noPath.IsOpen());
    EXPECT_EQ(noPath.ClassName(), L"bsFileRead");
}

TEST(FileArchive, ReadsAreClampedToTheLengthAtOpen) {
    TempDir dir;
    const auto path = dir.File("six.bin");
    WriteFileBytes(path, {1, 2, 3, 4, 5, 6});
    bsFileRead reader(Wide(path), L"rb");
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.Size(), 6u);

    int32_t first = 0;
    reader.Serialize(first);
    EXPECT_EQ(first, 0x04030201);
    int32_t second = -1;
    reader.Serialize(second);
    EXPECT_EQ(static_cast<uint32_t>(second), 0xFFFF0605u);
    EXPECT_TRUE(reader.IsEnd());

    // Past the end the seek is allowed, and the next read delivers nothing.
    EXPECT_TRUE(reader.Seek(100, 0));
    EXPECT_EQ(reader.Tell(), 100u);
    int32_t third = 9;
    reader.Serialize(third);
    EXPECT_EQ(third, 9);

    EXPECT_TRUE(reader.Seek(-2, 2));
    uint16_t tail = 0;
    reader.Serialize(tail);
    EXPECT_EQ(tail, 0x0605);
}

TEST(FileArchive, WideNonAsciiPathsReachTheFileSystem) {
    TempDir dir;
    // std::filesystem converts wide text through the C locale, so the wide
    // path is built from UTF-8 the way the program builds its own.
    const std::wstring path = platform::PathFromOsBytes(dir.Path().string()) + L"/\u89c6\u9891.bin";
    {
        bsFileWrite writer(path, L"w+b");
        int64_t value = -3;
        writer.Serialize(value);
    }
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "\xE8\xA7\x86\xE9\xA2\x91.bin"));
    bsFileRead reader(path, L"rb");
    int64_t value = 0;
    reader.Serialize(value);
    EXPECT_EQ(value, -3);
}
