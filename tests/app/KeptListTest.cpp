#include <gtest/gtest.h>

#include <string>

#include "app/KeptList.h"
#include "platform/PathBytes.h"
#include "support/Bytes.h"
#include "support/TempDir.h"

namespace {

void WriteText(const std::filesystem::path& path, const std::string& text) {
    WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string ReadText(const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

// Names a file system allows but a line of text does not hold as it is.
TEST(KeptList, EveryPathReadsBackAsItsBytes) {
    TempDir dir;
    const auto config = dir.File("Config.ini");
    WriteText(config, "[OnduLofrin]\nFireworkString=/opt/OnduLofrin\n");
    const std::vector<std::wstring> paths{
        L"/home/ondu/视频/雪山.mkv",
        platform::PathFromOsBytes("/films/caf\xE9.mp4"),
        L"/films/two\nlines\r.ts",
        L"/films/100%25 real %.mkv",
        L" /leading and trailing space ",
        L"\"/quoted\"",
        L"/x=y;z[1].avi",
    };
    ASSERT_TRUE(WriteKeptList(config.wstring(), paths));
    EXPECT_EQ(ReadKeptList(config.wstring()), paths);
    EXPECT_TRUE(ReadText(config).starts_with(
        "[OnduLofrin]\nFireworkString=/opt/OnduLofrin\n[Files]\nCount=7\n"
        "File1=/home/ondu/视频/雪山.mkv\nFile2=/films/caf\xE9.mp4\n"
        "File3=/films/two%0Alines%0D.ts\nFile4=/films/100%2525 real %25.mkv\n"));

    ASSERT_TRUE(WriteKeptList(config.wstring(), {}));
    EXPECT_EQ(ReadText(config), "[OnduLofrin]\nFireworkString=/opt/OnduLofrin\n[Files]\nCount=0\n");
    EXPECT_EQ(ReadKeptList(config.wstring()), std::vector<std::wstring>{});
}

// A list that cannot be trusted is not shown at all.
TEST(KeptList, ADamagedSectionReadsAsNoList) {
    TempDir dir;
    const auto config = dir.File("Config.ini");
    EXPECT_TRUE(ReadKeptList(config.wstring()).empty());  // no file
    for (const std::string section : {
             "[Other]\nCount=1\nFile1=/a\n",
             "[Files]\nFile1=/a\n",
             "[Files]\nCount=one\nFile1=/a\n",
             "[Files]\nCount=-1\n",
             "[Files]\nCount=99999999999999999999999\n",
             "[Files]\nCount=2\nFile1=/a\n",
             "[Files]\nCount=1\nFile1=\n",
             "[Files]\nCount=1\nFile1=/a%2\n",
             "[Files]\nCount=1\nFile1=/a%zz\n",
         }) {
        WriteText(config, section);
        EXPECT_TRUE(ReadKeptList(config.wstring()).empty()) << section;
    }
    WriteText(config, "[Files]\nCount=2\nFile2=/b\nFile1=/a\nFile3=/c\nfile1=/ignored\n");
    EXPECT_EQ(ReadKeptList(config.wstring()), (std::vector<std::wstring>{L"/a", L"/b"}));
}
