#include <gtest/gtest.h>

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueSamples.h"
#include "platform/PathBytes.h"
#include "support/PackagedMovieWriter.h"
#include "support/TempDir.h"

namespace {

std::wstring Wide(const std::filesystem::path& path) {
    return platform::PathFromOsBytes(path.string());
}

// Writes a packaged movie whose kind tells the files apart.
std::wstring PackagedFile(const TempDir& dir, const std::string& name, int64_t kind = 100002) {
    PackagedMovieLayout layout;
    layout.kind = kind;
    WriteFileBytes(dir.File(name), PackagedMovieBytes(layout));
    return Wide(dir.File(name));
}

std::vector<std::string> Titles(const Catalogue& catalogue) {
    std::vector<std::string> titles;
    for (const CatalogueEntry& entry : catalogue)
        titles.push_back(entry.title);
    return titles;
}

TEST(CatalogueWalk, EmptyListEmptiesTheCatalogue) {
    TempDir dir;
    Catalogue catalogue = BuildCatalogue({PackagedFile(dir, "a.vrm")}).catalogue;
    ASSERT_EQ(catalogue.size(), 1u);
    catalogue = BuildCatalogue({}).catalogue;
    EXPECT_TRUE(catalogue.empty());
    EXPECT_GE(catalogue.capacity(), 200u);
}

TEST(CatalogueWalk, OnlyTheFirst32PathsAreLookedAt) {
    TempDir dir;
    std::vector<std::wstring> paths;
    for (int i = 0; i < 40; ++i) {
        paths.push_back(PackagedFile(dir, std::to_string(i) + ".vrm", 100002 + i));
    }
    const BuiltCatalogue built = BuildCatalogue(paths);
    const Catalogue& catalogue = built.catalogue;
    ASSERT_EQ(catalogue.size(), MAX_TITLES);
    for (size_t i = 0; i < catalogue.size(); ++i)
        EXPECT_EQ(catalogue[i].kind, 100002 + int64_t(i));
    ASSERT_EQ(built.skipped.size(), 8u);
    for (size_t i = 0; i < built.skipped.size(); ++i) {
        EXPECT_EQ(built.skipped[i].path, paths[MAX_TITLES + i]);
        EXPECT_EQ(built.skipped[i].reason.kind, SkipKind::BeyondTitleLimit);
    }
}

TEST(CatalogueWalk, SkippedPathsStillUseUpPlaces) {
    TempDir dir;
    const std::wstring valid = PackagedFile(dir, "ok.vrw");
    std::vector<std::wstring> paths = {
        L"/.vr",                        // 4 characters
        Wide(dir.File("gone")) + L"/",  // ends in a separator, not a folder
        Wide(dir.Path()) + L"\\",       // ends in a separator
        L"ok.vrw",                      // no separator at all
        Wide(dir.File("missing.vrw")),  // does not open
    };
    paths.resize(MAX_TITLES, valid);
    paths.push_back(valid);
    const BuiltCatalogue built = BuildCatalogue(paths);
    EXPECT_EQ(built.catalogue.size(), MAX_TITLES - 5);
    const std::vector<SkipKind> kinds = {SkipKind::NoFileName, SkipKind::NoFileName,
                                         SkipKind::NoFileName, SkipKind::NoFileName,
                                         SkipKind::Missing,    SkipKind::BeyondTitleLimit};
    ASSERT_EQ(built.skipped.size(), kinds.size());
    for (size_t i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(built.skipped[i].reason.kind, kinds[i]) << i;
        EXPECT_EQ(built.skipped[i].path, paths[i < 5 ? i : MAX_TITLES]) << i;
    }
}

TEST(CatalogueWalk, TitleFollowsTheLastSlashOrBackslash) {
    TempDir dir;
    // On Linux a backslash is an ordinary file-name character, so this file
    // is really called "x\y.vrw"; its title is still the part after it.
    const std::wstring backslashed = PackagedFile(dir, "x\\y.vrw");
    const std::wstring chinese = PackagedFile(dir, "\xE7\x94\xB5\xE5\xBD\xB1.vrm");  // 电影
    const Catalogue catalogue = BuildCatalogue({backslashed, chinese}).catalogue;
    EXPECT_EQ(Titles(catalogue),
              (std::vector<std::string>{"y.vrw", "\xE7\x94\xB5\xE5\xBD\xB1.vrm"}));
    EXPECT_EQ(catalogue[1].path, chinese);
}

TEST(CatalogueWalk, ExtensionTestIgnoresTheCaseOfAsciiLetters) {
    TempDir dir;
    const std::wstring upper = PackagedFile(dir, "LOUD.VRW");
    const std::wstring mixed = PackagedFile(dir, "Mixed.vRm");
    // ".vrm" and one more character: an ordinary media file.
    const auto lookalike = dir.File("clip.vrmx");
    std::filesystem::copy_file(samples::H264Mkv(), lookalike);
    // A packaged file under a media extension is probed, and fails.
    const std::wstring misnamed = PackagedFile(dir, "packaged.mp4");

    const Catalogue catalogue = BuildCatalogue({upper, mixed, Wide(lookalike), misnamed}).catalogue;

    ASSERT_EQ(Titles(catalogue), (std::vector<std::string>{"LOUD.VRW", "Mixed.vRm", "clip.vrmx"}));
    EXPECT_EQ(catalogue[0].kind, 100002);
    EXPECT_EQ(catalogue[1].kind, 100002);
    EXPECT_EQ(catalogue[2].kind, MEDIA_FILE_KIND);
}

}  // namespace
