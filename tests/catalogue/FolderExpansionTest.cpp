#include <gtest/gtest.h>

#include <fstream>

#include "catalogue/Catalogue.h"
#include "catalogue/FolderExpansion.h"
#include "catalogue/NaturalOrder.h"
#include "catalogue/VideoFileNames.h"
#include "platform/WideText.h"
#include "support/Bytes.h"
#include "support/PackagedMovieWriter.h"
#include "support/TempDir.h"

namespace {

using Paths = std::vector<std::wstring>;

std::wstring Wide(const std::filesystem::path& path) {
    return platform::Utf8ToWide(path.string());
}

void Touch(const std::filesystem::path& path) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "x";
}

Paths FilesOf(const std::vector<ExpandedPath>& expanded) {
    Paths files;
    for (const ExpandedPath& item : expanded) {
        if (item.isFile)
            files.push_back(item.path);
    }
    return files;
}

}  // namespace

TEST(NaturalOrder, NumbersCountAndLetterCaseDoesNot) {
    const std::vector<std::pair<std::wstring, std::wstring>> ordered{
        {L"clip2", L"clip10"},   {L"a", L"B"},
        {L"clip02", L"clip3"},   {L"x9y", L"x10a"},
        {L"Clip1", L"clip1"},    {L"clip", L"clip0"},
        {L"v1.mp4", L"v1a.mp4"}, {L"2020-1", L"2020-01x"}};
    for (const auto& [first, second] : ordered) {
        EXPECT_TRUE(NaturalLess(first, second)) << std::string(first.begin(), first.end());
        EXPECT_FALSE(NaturalLess(second, first)) << std::string(first.begin(), first.end());
    }
    EXPECT_FALSE(NaturalLess(L"same", L"same"));
}

// A folder stands for its videos and its subfolders' in natural name order;
// other files, hidden files and hidden folders are left out; a folder reached
// again through a link is walked once; files and missing paths stay.
TEST(FolderExpansion, NestedVideosInNaturalOrder) {
    TempDir dir;
    const auto root = dir.Path() / "videos";
    for (const char* name : {"clip10.mp4", "clip2.MKV", "notes.txt", ".hidden.mp4", "b/inner.ts",
                             "b/c/deep.vrm", ".cache/x.mp4", "a.M2TS", "clip2.mp4.part"})
        Touch(root / name);
    std::filesystem::create_directory_symlink(root / "b", root / "b/c/loop");
    std::filesystem::create_directory(dir.Path() / "empty");
    Touch(dir.Path() / "empty/readme.txt");

    const auto expanded = ExpandFolders(
        {Wide(root), Wide(dir.File("loose.txt")), Wide(dir.Path() / "empty"), L"/no/such.mp4"});
    const std::wstring r = Wide(root) + L"/";
    EXPECT_EQ(FilesOf(expanded),
              (Paths{r + L"a.M2TS", r + L"b/c/deep.vrm", r + L"b/inner.ts", r + L"clip2.MKV",
                     r + L"clip10.mp4", Wide(dir.File("loose.txt")), L"/no/such.mp4"}));
    ASSERT_EQ(expanded.size(), 8u);
    EXPECT_FALSE(expanded[6].isFile);
    EXPECT_EQ(expanded[6].path, Wide(dir.Path() / "empty"));
    EXPECT_EQ(DescribeSkipReason(expanded[6].reason), "a folder with no videos");
    EXPECT_TRUE(HasVideoExtension(L"x.WeBm"));
    EXPECT_FALSE(HasVideoExtension(L".mp4"));
    EXPECT_TRUE(IsPackagedMoviePath(L"/v/a.VRW"));
    EXPECT_FALSE(IsPackagedMoviePath(L"/v/a.vrm.mp4"));
}

// The 32-title rule counts the folder's files, and an empty folder takes no
// place: 33 videos leave the last one out.
TEST(FolderExpansion, TheTitleLimitCountsTheFilesOfFolders) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path() / "none");
    std::filesystem::create_directory(dir.Path() / "many");
    for (int i = 1; i <= 33; ++i) {
        PackagedMovieLayout layout;
        WriteFileBytes(dir.Path() / "many" / ("m" + std::to_string(i) + ".vrm"),
                       PackagedMovieBytes(layout));
    }
    const BuiltCatalogue built =
        BuildCatalogue({Wide(dir.Path() / "none"), Wide(dir.Path() / "many")});
    ASSERT_EQ(built.catalogue.size(), 32u);
    EXPECT_EQ(built.catalogue[1].title, "m2.vrm");
    EXPECT_EQ(built.catalogue[31].title, "m32.vrm");
    ASSERT_EQ(built.skipped.size(), 2u);
    EXPECT_EQ(built.skipped[0].reason.kind, SkipKind::NoVideosInFolder);
    EXPECT_EQ(built.skipped[1].path, Wide(dir.Path() / "many" / "m33.vrm"));
    EXPECT_EQ(built.skipped[1].reason.kind, SkipKind::BeyondTitleLimit);
}
