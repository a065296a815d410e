#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "app/CacheChoice.h"
#include "app/CommandLine.h"
#include "app/DisplayCheck.h"

using Mode = CommandLine::Mode;
using Paths = std::vector<std::wstring>;
using Lines = std::vector<std::string>;
using platform::OperatorDetail;

TEST(CommandLine, WindowListsFilesInOrderMadeAbsolute) {
    const CommandLine line =
        ParseCommandLine({"a.mp4", "/v/b.vrm", "sub/\xE8\xA7\x86.mkv"}, L"/home/u");
    EXPECT_EQ(line.mode, Mode::Window);
    EXPECT_EQ(line.files, (Paths{L"/home/u/a.mp4", L"/v/b.vrm", L"/home/u/sub/\u89c6.mkv"}));
    EXPECT_TRUE(line.problems.empty());
    EXPECT_EQ(ParseCommandLine({"a.mp4"}, L"/").files, Paths{L"/a.mp4"});
    EXPECT_EQ(ParseCommandLine({}, L"/home/u").files, Paths{});
}

// Options and files in any order, --serve anywhere; the serve mode's files
// are made absolute like the window's.
TEST(CommandLine, OptionsAndFilesComeInAnyOrder) {
    const std::vector<Lines> orders{
        {"--serve", "--no-directory", "--bind", "10.0.0.2", "a.mp4", "--no-cache", "d/b.vrw"},
        {"--no-directory", "--serve", "a.mp4", "--no-cache", "--bind", "10.0.0.2", "d/b.vrw"},
        {"--no-cache", "a.mp4", "d/b.vrw", "--bind", "10.0.0.2", "--no-directory", "--serve"},
        {"a.mp4", "--bind", "10.0.0.2", "--serve", "d/b.vrw", "--no-directory", "--no-cache"},
    };
    for (const Lines& order : orders) {
        const CommandLine line = ParseCommandLine(order, L"/here");
        EXPECT_EQ(line.mode, Mode::Serve) << order[0];
        EXPECT_EQ(line.files, (Paths{L"/here/a.mp4", L"/here/d/b.vrw"})) << order[0];
        EXPECT_EQ(line.bindAddresses, (std::vector<platform::Ipv4Address>{{10, 0, 0, 2}}));
        EXPECT_TRUE(line.noDirectory);
        EXPECT_TRUE(line.noCache);
        EXPECT_TRUE(line.problems.empty());
    }
    const CommandLine directory =
        ParseCommandLine({"x.mp4", "--directory", "http://127.0.0.1:8080/", "--verbose"}, L"/");
    EXPECT_EQ(directory.mode, Mode::Window);
    EXPECT_EQ(directory.directoryOrigin, "http://127.0.0.1:8080");
    EXPECT_EQ(directory.detail, OperatorDetail::Requests);
    EXPECT_EQ(ParseCommandLine({"--quiet", "--serve", "a"}, L"/").detail, OperatorDetail::Errors);
    EXPECT_EQ(ParseCommandLine({"--serve", "a"}, L"/").detail, OperatorDetail::Events);
}

// Help and version are answered whatever else the line holds, unless the
// options have ended before them.
TEST(CommandLine, HelpAndVersionWinUnlessOptionsHaveEnded) {
    const std::map<Lines, Mode> cases{
        {{"--help"}, Mode::Help},
        {{"-h"}, Mode::Help},
        {{"--serve", "--bind", "1.2.3", "--help"}, Mode::Help},
        {{"a.mp4", "--version"}, Mode::Version},
        {{"--serve", "--version", "--frobnicate"}, Mode::Version},
        {{"--", "--version", "-h"}, Mode::Window},
    };
    for (const auto& [arguments, mode] : cases)
        EXPECT_EQ(ParseCommandLine(arguments, L"/").mode, mode) << arguments.back();
    EXPECT_EQ(ParseCommandLine({"--", "--version", "-x"}, L"/d").files,
              (Paths{L"/d/--version", L"/d/-x"}));
}

TEST(CommandLine, EachBadArgumentIsNamedInOneLine) {
    const std::vector<std::pair<Lines, Lines>> cases{
        {{"--foo", "a"}, {"unknown option --foo"}},
        {{"--serve", "--bind", "1.2.3", "a"}, {"--bind: 1.2.3 is not an IPv4 address"}},
        {{"--serve", "a", "--bind"}, {"--bind needs an IPv4 address"}},
        {{"--directory", "ftp://h", "a"},
         {"--directory: ftp://h is not an http or https address with a host"}},
        {{"a", "--directory"}, {"--directory needs a URL"}},
        {{"--directory", "http://h", "--no-directory", "a"},
         {"--directory and --no-directory exclude each other"}},
        {{"--quiet", "--verbose"}, {"--quiet and --verbose exclude each other"}},
        {{"--serve"}, {"--serve needs at least one FILE or FOLDER"}},
        {{"-q", "--serve", "--bind", "300.1.1.1", "x", "--x"},
         {"unknown option -q", "--bind: 300.1.1.1 is not an IPv4 address", "unknown option --x"}},
    };
    for (const auto& [arguments, problems] : cases) {
        const CommandLine line = ParseCommandLine(arguments, L"/");
        EXPECT_EQ(line.mode, Mode::Invalid) << arguments[0];
        EXPECT_EQ(line.problems, problems);
    }
}

TEST(HeadlessDirectoryOptions, AreParsedAndChecked) {
    const CommandLine options =
        ParseCommandLine({"--serve", "--directory", "http://127.0.0.1:8080", "a.mp4"}, L"/");
    EXPECT_EQ(options.directoryOrigin, "http://127.0.0.1:8080");
    EXPECT_TRUE(ParseCommandLine({"--serve", "--no-directory", "a.mp4"}, L"/").noDirectory);
    for (const Lines& bad : std::vector<Lines>{{"--directory", "ftp://host", "a.mp4"},
                                               {"--directory"},
                                               {"--directory", "http://h", "--no-directory", "a"}})
        EXPECT_EQ(ParseCommandLine(bad, L"/").mode, Mode::Invalid) << bad[0];
}

TEST(CommandLine, UsageNamesEveryOption) {
    for (const char* option :
         {"--serve", "--bind ADDR", "--directory URL", "--no-directory", "--no-cache", "--quiet",
          "--verbose", "-h, --help", "--version", "[Service]", "~/.cache/ondulofrin"})
        EXPECT_NE(std::string(kUsageText).find(option), std::string::npos) << option;
}

namespace {

std::map<std::string, std::string> environment;

const char* Lookup(const char* name) {
    const auto found = environment.find(name);
    return found == environment.end() ? nullptr : found->second.c_str();
}

}  // namespace

TEST(DisplayCheck, TellsFromTheEnvironmentWhetherQtCanOpenAWindow) {
    using Environment = std::map<std::string, std::string>;
    const std::vector<std::pair<Environment, bool>> cases{
        {{}, false},
        {{{"DISPLAY", ""}}, false},
        {{{"DISPLAY", ":0"}}, true},
        {{{"WAYLAND_DISPLAY", "wayland-0"}}, true},
        {{{"QT_QPA_PLATFORM", "offscreen"}}, true},
        {{{"QT_QPA_PLATFORM", "xcb"}}, false},
        {{{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":1"}}, true},
        {{{"QT_QPA_PLATFORM", "wayland"}, {"DISPLAY", ":1"}}, false},
        {{{"QT_QPA_PLATFORM", "wayland;xcb"}, {"DISPLAY", ":1"}}, true},
        {{{"QT_QPA_PLATFORM", "wayland-egl"}, {"WAYLAND_DISPLAY", "w"}}, true},
    };
    for (const auto& [variables, expected] : cases) {
        environment = variables;
        EXPECT_EQ(HasDisplay(Lookup), expected) << variables.size();
    }
    environment.clear();
}

TEST(CacheChoice, FollowsSystemdThenXdgThenHome) {
    using Environment = std::map<std::string, std::string>;
    const std::vector<std::pair<Environment, std::optional<std::string>>> cases{
        {{}, std::nullopt},
        {{{"HOME", "/home/u"}}, "/home/u/.cache/ondulofrin"},
        {{{"HOME", "/home/u"}, {"XDG_CACHE_HOME", "/c"}}, "/c/ondulofrin"},
        {{{"HOME", "/home/u"}, {"XDG_CACHE_HOME", "rel"}}, "/home/u/.cache/ondulofrin"},
        {{{"XDG_CACHE_HOME", "/c"}, {"CACHE_DIRECTORY", "/var/cache/o:/x"}}, "/var/cache/o"},
    };
    const CommandLine line;
    for (const auto& [variables, expected] : cases) {
        environment = variables;
        EXPECT_EQ(ChooseCacheDirectory(line, Lookup), expected) << variables.size();
    }
    CommandLine noCache;
    noCache.noCache = true;
    EXPECT_EQ(ChooseCacheDirectory(noCache, Lookup), std::nullopt);
    environment.clear();
}

// The README's usage section quotes the help word for word.
TEST(CommandLine, ReadmeQuotesTheHelp) {
    std::ifstream readme(ONDU_SOURCE_DIR "/README.md");
    std::string line;
    while (std::getline(readme, line) && line != "`OnduLofrin --help` prints:") {
    }
    std::getline(readme, line);  // the blank line before the quote
    std::string quoted;
    while (std::getline(readme, line) && (line.empty() || line.starts_with("    ")))
        quoted += (line.empty() ? "" : line.substr(4)) + "\n";
    while (quoted.ends_with("\n\n"))
        quoted.pop_back();
    EXPECT_EQ(quoted, kUsageText);
}

// A Latin-1 name keeps its bytes, in both modes.
TEST(CommandLine, NamesThatAreNotUtf8KeepTheirBytes) {
    const std::wstring latin1 = std::wstring(L"caf") + static_cast<wchar_t>(0xDCE9) + L".mp4";
    for (const auto& arguments : {std::vector<std::string>{"caf\xE9.mp4"},
                                  std::vector<std::string>{"--serve", "caf\xE9.mp4"}})
        EXPECT_EQ(ParseCommandLine(arguments, L"/d").files, Paths{L"/d/" + latin1});
}
