#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/PathBytes.h"
#include "service/PackagedFiles.h"
#include "support/Bytes.h"
#include "support/TempDir.h"

namespace {

constexpr int64_t kMiB = 1048576;

// Loads the blocks over the first `mebibytes` of the file, as a reader
// going through it would.
void LoadBlocks(BlockCache& cache, int64_t mebibytes) {
    BlockCache::Held held;
    for (int64_t mib = 0; mib < mebibytes; ++mib) {
        held = cache.Switch(-1, held, static_cast<uint64_t>(mib * kMiB), BlockCache::LoadMode::Now);
        cache.MarkRead(held);
    }
    cache.Release(held);
}

}  // namespace

// The block caches of the open titles share one budget: a title that opens
// takes its share from the others at once, one that closes gives it back,
// and a title alone keeps the bound it always had.
TEST(CacheBudget, OpenTitlesShareOneBudget) {
    TempDir dir;
    std::vector<std::wstring> paths;
    for (int i = 0; i < 4; ++i) {
        const auto path = dir.File("title-" + std::to_string(i) + ".vrm");
        WriteFileBytes(path,
                       PatternBytes(static_cast<size_t>(24 * kMiB), static_cast<uint32_t>(i)));
        paths.push_back(platform::PathFromOsBytes(path.string()));
    }
    PackagedFiles files;
    std::shared_ptr<BlockCache> first = files.Open(paths[0]);
    EXPECT_EQ(first->MaxCachedBlocks() * BlockCache::kDefaultBlockSize,
              BlockCache::kCacheBoundBytes / BlockCache::kDefaultBlockSize *
                  BlockCache::kDefaultBlockSize);

    files.SetCacheBudget(16 * kMiB);
    first->SetBlockSize(kMiB);
    LoadBlocks(*first, 24);
    EXPECT_EQ(first->CachedBlocks().size(), 16u);

    struct Step {
        size_t openTitles;
        size_t firstTitlesBlocks;  // its bound, and the blocks it holds
    };
    const Step steps[] = {{2, 8}, {4, 4}, {3, 5}, {1, 16}};
    std::vector<std::shared_ptr<BlockCache>> others;
    for (const Step& step : steps) {
        while (others.size() + 1 < step.openTitles)
            others.push_back(files.Open(paths[others.size() + 1]));
        while (others.size() + 1 > step.openTitles)
            others.pop_back();
        EXPECT_EQ(files.OpenCount(), step.openTitles);
        EXPECT_EQ(first->MaxCachedBlocks(), step.firstTitlesBlocks) << step.openTitles;
        EXPECT_LE(first->CachedBlocks().size() + first->SpareBlockCount(), step.firstTitlesBlocks)
            << step.openTitles;
        LoadBlocks(*first, 24);
        EXPECT_EQ(first->CachedBlocks().size() + first->SpareBlockCount(), step.firstTitlesBlocks)
            << step.openTitles;
    }
}

// Each title keeps room for three blocks, however many share the budget.
TEST(CacheBudget, EachTitleKeepsThreeBlocks) {
    TempDir dir;
    const auto path = dir.File("title.vrm");
    WriteFileBytes(path, PatternBytes(static_cast<size_t>(kMiB)));
    PackagedFiles files;
    files.SetCacheBudget(kMiB);
    std::shared_ptr<BlockCache> cache = files.Open(platform::PathFromOsBytes(path.string()));
    EXPECT_EQ(cache->MaxCachedBlocks(), 3u);
}

// A title's file is shared by its path and its status: a file replaced under
// the sessions that read the old one is opened anew for the next, which gets
// the new file's bytes, and shared from then on.
TEST(PackagedFiles, AFileReplacedUnderItsReadersGetsACacheOfItsOwn) {
    TempDir dir;
    const std::filesystem::path path = dir.File("title.vrm");
    WriteFileBytes(path, PatternBytes(static_cast<size_t>(kMiB), 1));
    const std::wstring title = platform::PathFromOsBytes(path.string());
    PackagedFiles files;
    const std::shared_ptr<BlockCache> first = files.Open(title);
    EXPECT_EQ(files.Open(title), first);

    const std::filesystem::path replacement = dir.File("replacement.vrm");
    WriteFileBytes(replacement, PatternBytes(static_cast<size_t>(kMiB), 2));
    std::filesystem::rename(replacement, path);
    const std::shared_ptr<BlockCache> second = files.Open(title);
    EXPECT_NE(second, first);
    EXPECT_EQ(files.Open(title), second);
}
