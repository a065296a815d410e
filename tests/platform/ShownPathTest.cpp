#include <gtest/gtest.h>

#include <fstream>

#include "platform/PathBytes.h"
#include "platform/ShownPath.h"
#include "platform/WideText.h"
#include "support/TempDir.h"

// A Latin-1 folder and file, as the file dialog shows them and as they are.
TEST(ShownPath, FindsTheEntriesANameWithReplacementsShows) {
    TempDir dir;
    const std::string folder = dir.Path().string() + "/M\xFCsic";
    std::filesystem::create_directory(folder);
    const std::string file = folder + "/caf\xE9 cr\xE8me.mp4";
    std::ofstream(file) << "x";
    std::ofstream(folder + "/plain.mp4") << "x";
    const std::wstring base = platform::PathFromOsBytes(dir.Path().string());
    const std::wstring shownFile = base + L"/M\uFFFDsic/caf\uFFFD cr\uFFFDme.mp4";

    struct Case {
        std::wstring shown;
        std::wstring found;
    };
    const Case cases[] = {
        {shownFile, platform::PathFromOsBytes(file)},
        // Qt may show a run of bad bytes as one or several replacements.
        {base + L"/M\uFFFD\uFFFDsic/plain.mp4", platform::PathFromOsBytes(folder + "/plain.mp4")},
        // What exists, or matches nothing, comes back unchanged.
        {platform::PathFromOsBytes(file), platform::PathFromOsBytes(file)},
        {base + L"/M\uFFFDsic/none\uFFFD.mp4", base + L"/M\uFFFDsic/none\uFFFD.mp4"},
        {L"relative\uFFFD.mp4", L"relative\uFFFD.mp4"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::FindPathShownAs(c.shown), c.found) << platform::WideToUtf8(c.shown);
    }
}

// Two names that show alike: the text cannot tell which was meant.
TEST(ShownPath, LeavesAnAmbiguousNameAsShown) {
    TempDir dir;
    std::ofstream(dir.Path().string() + "/a\xE9.mp4") << "x";
    std::ofstream(dir.Path().string() + "/a\xE8.mp4") << "x";
    const std::wstring shown = platform::PathFromOsBytes(dir.Path().string()) + L"/a\uFFFD.mp4";
    EXPECT_EQ(platform::FindPathShownAs(shown), shown);
}
