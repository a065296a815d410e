#include <gtest/gtest.h>

#include "app/CommandLine.h"

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

TEST(CommandLine, ServeTakesBindAddressesAndFiles) {
    const CommandLine line = ParseCommandLine(
        {"--serve", "--bind", "127.0.0.1", "a.mp4", "--bind", "10.0.0.2", "b.vrw"}, L"/d");
    EXPECT_EQ(line.mode, Mode::Serve);
    EXPECT_EQ(line.bindAddresses, (std::vector<std::string>{"127.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(line.files, (Paths{L"/d/a.mp4", L"/d/b.vrw"}));
    EXPECT_TRUE(line.problems.empty());
}

TEST(CommandLine, ReportsWhatCannotBeFollowed) {
    EXPECT_EQ(ParseCommandLine({"--serve"}, L"/").problems,
              std::vector<std::string>{"--serve needs at least one FILE"});
    EXPECT_EQ(ParseCommandLine({"--serve", "a", "--bind"}, L"/").problems,
              std::vector<std::string>{"--bind needs an address"});
    const CommandLine window = ParseCommandLine({"--bind", "x", "-q", "a"}, L"/");
    EXPECT_EQ(window.problems,
              (std::vector<std::string>{"unknown option --bind", "unknown option -q"}));
    EXPECT_EQ(window.files, (Paths{L"/x", L"/a"}));
}
