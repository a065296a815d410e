#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "app/HeadlessService.h"

using Mode = CommandLine::Mode;
using Paths = std::vector<std::wstring>;

TEST(CommandLine, WindowListsFilesInOrderMadeAbsolute) {
    const CommandLine line =
        ParseCommandLine({"a.mp4", "/v/b.vrm", "sub/\xE8\xA7\x86.mkv"}, L"/home/u");
    EXPECT_EQ(line.mode, Mode::Window);
    EXPECT_EQ(line.files, (Paths{L"/home/u/a.mp4", L"/v/b.vrm", L"/home/u/sub/\u89c6.mkv"}));
    EXPECT_TRUE(line.problems.empty());
    EXPECT_EQ(ParseCommandLine({"a.mp4"}, L"/").files, Paths{L"/a.mp4"});
    EXPECT_EQ(ParseCommandLine({}, L"/home/u").files, Paths{});
}

TEST(CommandLine, VersionWinsUnlessOptionsHaveEnded) {
    EXPECT_EQ(ParseCommandLine({"a.mp4", "--version"}, L"/").mode, Mode::Version);
    EXPECT_EQ(ParseCommandLine({"--serve", "--version"}, L"/").mode, Mode::Version);
    const CommandLine files = ParseCommandLine({"--", "--version", "-x"}, L"/d");
    EXPECT_EQ(files.mode, Mode::Window);
    EXPECT_EQ(files.files, (Paths{L"/d/--version", L"/d/-x"}));
}

// The serve mode's bind addresses and files are read by the headless front end.
TEST(CommandLine, ServeTakesBindAddressesAndFiles) {
    const std::vector<std::string> serve = {"--serve", "--bind",   "127.0.0.1", "a.mp4",
                                            "--bind",  "10.0.0.2", "b.vrw"};
    const CommandLine line = ParseCommandLine(serve, L"/d");
    EXPECT_EQ(line.mode, Mode::Serve);
    EXPECT_TRUE(line.problems.empty());
    HeadlessOptions options;
    ASSERT_TRUE(ParseHeadlessOptions({serve.begin() + 1, serve.end()}, options));
    EXPECT_EQ(options.bindAddresses, (std::vector<std::string>{"127.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(options.files, (Paths{L"a.mp4", L"b.vrw"}));
}

TEST(CommandLine, ReportsWhatCannotBeFollowed) {
    HeadlessOptions noFile;
    EXPECT_FALSE(ParseHeadlessOptions({}, noFile));  // --serve needs at least one FILE
    HeadlessOptions noAddress;
    EXPECT_FALSE(ParseHeadlessOptions({"a", "--bind"}, noAddress));
    const CommandLine window = ParseCommandLine({"--bind", "x", "-q", "a"}, L"/");
    EXPECT_EQ(window.problems,
              (std::vector<std::string>{"unknown option --bind", "unknown option -q"}));
    EXPECT_EQ(window.files, (Paths{L"/x", L"/a"}));
}

// A Latin-1 name keeps its bytes through both front ends.
TEST(CommandLine, NamesThatAreNotUtf8KeepTheirBytes) {
    const std::wstring latin1 = std::wstring(L"caf") + static_cast<wchar_t>(0xDCE9) + L".mp4";
    EXPECT_EQ(ParseCommandLine({"caf\xE9.mp4"}, L"/d").files, Paths{L"/d/" + latin1});
    HeadlessOptions options;
    ASSERT_TRUE(ParseHeadlessOptions({"caf\xE9.mp4"}, options));
    EXPECT_EQ(options.files, Paths{latin1});
}
