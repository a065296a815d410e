#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/IniProfile.h"
#include "support/Bytes.h"
#include "support/TempDir.h"

namespace {

std::string ReadText(const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
    WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::wstring Read(const std::filesystem::path& path, const wchar_t* section, const wchar_t* key) {
    return platform::GetPrivateProfileString(section, key, L"<none>", path.wstring());
}

}  // namespace

TEST(IniProfile, MissingFileSectionOrKeyGivesTheDefault) {
    TempDir dir;
    const auto path = dir.File("Config.ini");
    EXPECT_EQ(Read(path, L"OnduLofrin", L"FireworkString"), L"<none>");
    WriteText(path, "[Other]\nFireworkString=x\n[OnduLofrin]\nSomethingElse=y\n");
    EXPECT_EQ(Read(path, L"OnduLofrin", L"FireworkString"), L"<none>");
    EXPECT_EQ(Read(path, L"Missing", L"FireworkString"), L"<none>");
    WriteText(path, "[OnduLofrin]\nFireworkString=\n");
    EXPECT_EQ(Read(path, L"OnduLofrin", L"FireworkString"), L"");
}

TEST(IniProfile, NamesMatchWithoutCaseButValuesKeepIt) {
    TempDir dir;
    const auto path = dir.File("Config.ini");
    WriteText(path,
              "; comment\r\n  [ ondulofrin ]  \r\n  FIREWORKSTRING =  /Opt/Ondu Lofrin  \r\n");
    EXPECT_EQ(Read(path, L"OnduLofrin", L"FireworkString"), L"/Opt/Ondu Lofrin");
}

TEST(IniProfile, FirstMatchWinsAndQuotesAreStripped) {
    TempDir dir;
    const auto path = dir.File("Config.ini");
    WriteText(path, "[A]\nk=\"quoted\"\nk=second\n[a]\nk=third\n[B]\nk='single'\n");
    EXPECT_EQ(Read(path, L"A", L"k"), L"quoted");
    EXPECT_EQ(Read(path, L"B", L"k"), L"single");
}

TEST(IniProfile, WritingCreatesTheFileAndReadsBack) {
    TempDir dir;
    const auto path = dir.File("Config.ini");
    const std::wstring value = L"/home/\u7528\u6237/Ondu Lofrin/OnduLofrin";
    ASSERT_TRUE(platform::WritePrivateProfileString(L"OnduLofrin", L"FireworkString", value,
                                                    path.wstring()));
    EXPECT_EQ(
        ReadText(path),
        "[OnduLofrin]\nFireworkString=/home/\xE7\x94\xA8\xE6\x88\xB7/Ondu Lofrin/OnduLofrin\n");
    EXPECT_EQ(Read(path, L"OnduLofrin", L"FireworkString"), value);
}

TEST(IniProfile, WritingKeepsEveryOtherLine) {
    TempDir dir;
    const auto path = dir.File("Config.ini");
    const std::string before =
        "\xEF\xBB\xBF; kept \xFF bytes\r\n[Other]\r\nFireworkString=other\r\n"
        "[ONDULOFRIN]\r\nfireworkstring = old\r\nKeep=1\r\n\r\n[Last]\r\nx=y";
    WriteText(path, before);
    ASSERT_TRUE(platform::WritePrivateProfileString(L"OnduLofrin", L"FireworkString", L"new",
                                                    path.wstring()));
    EXPECT_EQ(ReadText(path),
              "\xEF\xBB\xBF; kept \xFF bytes\r\n[Other]\r\nFireworkString=other\r\n"
              "[ONDULOFRIN]\r\nfireworkstring=new\r\nKeep=1\r\n\r\n[Last]\r\nx=y");

    ASSERT_TRUE(platform::WritePrivateProfileString(L"Other", L"Added", L"2", path.wstring()));
    ASSERT_TRUE(platform::WritePrivateProfileString(L"Last", L"z", L"3", path.wstring()));
    ASSERT_TRUE(platform::WritePrivateProfileString(L"New", L"k", L"4", path.wstring()));
    EXPECT_EQ(ReadText(path),
              "\xEF\xBB\xBF; kept \xFF bytes\r\n[Other]\r\nFireworkString=other\r\nAdded=2\r\n"
              "[ONDULOFRIN]\r\nfireworkstring=new\r\nKeep=1\r\n\r\n[Last]\r\nx=y\r\nz=3\r\n"
              "[New]\r\nk=4\r\n");
}

// A Config.ini someone keeps elsewhere through a link, readable by others:
// a write replaces the file the link leads to, which keeps its mode, and
// leaves neither the link replaced nor a temporary file behind.
TEST(IniProfile, WritingKeepsTheModeAndTheLink) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("kept"));
    const auto target = dir.File("kept") / "Config.ini";
    WriteText(target, "[OnduLofrin]\nFireworkString=old\n");
    ASSERT_EQ(chmod(target.c_str(), 0644), 0);
    const auto link = dir.File("Config.ini");
    std::filesystem::create_symlink("kept/Config.ini", link);

    ASSERT_TRUE(platform::WritePrivateProfileString(L"OnduLofrin", L"FireworkString", L"new",
                                                    link.wstring()));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadText(target), "[OnduLofrin]\nFireworkString=new\n");
    struct stat status {};
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0644u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("kept")),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(IniProfile, ValuesThatWouldBeTrimmedOrUnquotedRoundTrip) {
    TempDir dir;
    const auto path = dir.File("Config.ini").wstring();
    for (const std::wstring value : {L" padded ", L"\"quoted\"", L"'a'", L"\"", L"x=y;z"}) {
        ASSERT_TRUE(platform::WritePrivateProfileString(L"S", L"k", value, path));
        EXPECT_EQ(platform::GetPrivateProfileString(L"S", L"k", L"", path), value);
    }
}

TEST(IniProfile, RefusesTextThatWouldChangeTheFileStructure) {
    TempDir dir;
    const auto path = dir.File("Config.ini");
    WriteText(path, "[S]\nk=v\n");
    const std::wstring file = path.wstring();
    EXPECT_FALSE(platform::WritePrivateProfileString(L"S", L"k", L"a\n[S]\nk=b", file));
    EXPECT_FALSE(platform::WritePrivateProfileString(L"S", L"k", L"a\rb", file));
    EXPECT_FALSE(platform::WritePrivateProfileString(L"S]x", L"k", L"v", file));
    EXPECT_FALSE(platform::WritePrivateProfileString(L"S", L"k=j", L"v", file));
    EXPECT_FALSE(platform::WritePrivateProfileString(L"S", L"[k", L"v", file));
    EXPECT_FALSE(platform::WritePrivateProfileString(L"S", L"", L"v", file));
    EXPECT_EQ(ReadText(path), "[S]\nk=v\n");
}

TEST(IniProfile, UnwritableLocationReportsFailure) {
    TempDir dir;
    const auto path = dir.File("missing-folder") / "Config.ini";
    EXPECT_FALSE(platform::WritePrivateProfileString(L"S", L"k", L"v", path.wstring()));
}

// A section is replaced whole: its comments and entries go, the blank line
// before the next section and every other line stay.
TEST(IniProfile, SectionsAreReadAndReplacedWhole) {
    TempDir dir;
    const auto path = dir.File("Config.ini");
    const std::wstring file = path.wstring();
    EXPECT_FALSE(platform::GetPrivateProfileSection(L"Files", file));
    WriteText(path,
              "[OnduLofrin]\nFireworkString=x\n[files]\n; note\nCount = 1\nFile1=\"a\"\n\n"
              "[Service]\nDirectory=none");
    const auto read = platform::GetPrivateProfileSection(L"Files", file);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), 2u);
    EXPECT_EQ((*read)[0].key + L"=" + (*read)[0].value, L"Count=1");
    EXPECT_EQ((*read)[1].key + L"=" + (*read)[1].value, L"File1=a");

    ASSERT_TRUE(
        platform::WritePrivateProfileSection(L"Files", {{L"Count", L"2"}, {L"k", L" b "}}, file));
    ASSERT_TRUE(platform::WritePrivateProfileSection(L"New", {{L"n", L"1"}}, file));
    EXPECT_EQ(ReadText(path),
              "[OnduLofrin]\nFireworkString=x\n[files]\nCount=2\nk=\" b \"\n\n"
              "[Service]\nDirectory=none\n[New]\nn=1\n");
    EXPECT_FALSE(platform::WritePrivateProfileSection(L"New", {{L"n", L"1\n[x]"}}, file));
    EXPECT_EQ(platform::GetPrivateProfileString(L"New", L"n", L"", file), L"1");
}
