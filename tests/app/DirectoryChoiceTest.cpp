#include <gtest/gtest.h>

#include <fstream>

#include "app/DirectoryChoice.h"
#include "platform/OperatorLog.h"
#include "platform/WideText.h"
#include "service/DirectoryRegistration.h"
#include "support/TempDir.h"

namespace {

std::vector<std::string> operatorLines;

void KeepLine(std::string_view line) {
    operatorLines.emplace_back(line);
}

}  // namespace

// Config.ini's key sets both modes' registration; the command line wins.
TEST(DirectoryChoice, CommandLineThenConfigIniThenOurs) {
    TempDir folder;
    const std::wstring config = platform::Utf8ToWide(folder.File("Config.ini").string());
    const std::wstring missing = platform::Utf8ToWide(folder.File("absent.ini").string());
    using Choice = std::optional<std::string>;
    using Lines = std::vector<std::string>;
    const std::string ours = kDirectoryOrigin;
    struct Case {
        const char* configured;  // nullptr: no file
        Lines arguments;
        Choice expected;
    };
    const std::vector<Case> cases{
        {nullptr, {}, ours},
        {"", {}, ours},
        {"none", {}, std::nullopt},
        {"http://127.0.0.1:8080", {}, "http://127.0.0.1:8080"},
        {"none", {"--directory", "https://d.example"}, "https://d.example"},
        {"http://127.0.0.1:8080", {"--no-directory"}, std::nullopt},
        {nullptr, {"--no-directory"}, std::nullopt},
    };
    for (const Case& c : cases) {
        if (c.configured != nullptr) {
            std::ofstream(folder.File("Config.ini"))
                << "[OnduLofrin]\nFireworkString=/x\n[Service]\nDirectory=" << c.configured << "\n";
        }
        const CommandLine line = ParseCommandLine(c.arguments, L"/");
        EXPECT_EQ(ChooseDirectory(line, c.configured ? config : missing), c.expected)
            << (c.configured ? c.configured : "(no file)");
    }
}

TEST(DirectoryChoice, AnUnusableValueIsToldAndRegistersNowhere) {
    TempDir folder;
    std::ofstream(folder.File("Config.ini")) << "[Service]\nDirectory=ftp://x\n";
    platform::SetOperatorLogSink(KeepLine);
    const auto choice = ChooseDirectory(ParseCommandLine({}, L"/"),
                                        platform::Utf8ToWide(folder.File("Config.ini").string()));
    platform::SetOperatorLogSink(nullptr);
    EXPECT_EQ(choice, std::nullopt);
    ASSERT_EQ(operatorLines.size(), 1u);
    EXPECT_NE(operatorLines[0].find("Directory=ftp://x"), std::string::npos);
}
