#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <tuple>

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueSamples.h"
#include "catalogue/TitleCache.h"
#include "catalogue/TitleReaders.h"
#include "platform/PathBytes.h"
#include "support/PackagedMovieWriter.h"
#include "support/TempDir.h"

namespace {

std::wstring Wide(const std::filesystem::path& path) {
    return platform::PathFromOsBytes(path.string());
}

// Every field but the time of last use, which each read sets anew.
void ExpectSameEntries(const Catalogue& a, const Catalogue& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].kind, b[i].kind) << i;
        EXPECT_EQ(a[i].title, b[i].title) << i;
        EXPECT_EQ(a[i].path, b[i].path) << i;
        EXPECT_EQ(a[i].mediaPath, b[i].mediaPath) << i;
        EXPECT_EQ(std::tie(a[i].thumbWidth, a[i].thumbHeight, a[i].dataOffset, a[i].headerSize,
                           a[i].recordCount),
                  std::tie(b[i].thumbWidth, b[i].thumbHeight, b[i].dataOffset, b[i].headerSize,
                           b[i].recordCount))
            << i;
        EXPECT_TRUE(a[i].thumbnail == b[i].thumbnail) << i;
        EXPECT_EQ(a[i].thumbnailTone, b[i].thumbnailTone) << i;
    }
}

// Media files, a packaged movie, a missing file, a file that is no media, a
// folder without videos, and more files than places.
std::vector<std::wstring> MixedPaths(const TempDir& dir) {
    WriteFileBytes(dir.File("movie.vrm"), PackagedMovieBytes({}));
    WriteFileBytes(dir.File("notes.mp4"), PatternBytes(5000));
    std::filesystem::create_directory(dir.File("empty"));
    const std::vector<std::filesystem::path> media = {
        samples::H264AacMp4(), samples::HevcMkv(),        samples::Vp9Webm(),
        samples::H264Ts(),     samples::GreenMiddleMp4(), samples::NeverDecodingMkv()};
    std::vector<std::wstring> paths = {Wide(dir.File("missing.mkv")), Wide(dir.File("empty")),
                                       Wide(dir.File("movie.vrm")), Wide(dir.File("notes.mp4"))};
    while (paths.size() < MAX_TITLES + 3)
        paths.push_back(Wide(media[paths.size() % media.size()]));
    return paths;
}

struct Reading {
    BuiltCatalogue built;
    std::vector<size_t> indices;  // as onTitle heard them
    std::vector<FileRead> reads;
};

Reading Build(const std::vector<std::wstring>& paths, CatalogueBuildOptions options = {}) {
    Reading reading;
    options.onTitle = [&reading](size_t index, const CatalogueEntry&, const FileRead& read) {
        reading.indices.push_back(index);
        reading.reads.push_back(read);
    };
    reading.built = BuildCatalogue(paths, options);
    return reading;
}

TEST(CatalogueBuild, ReadersTogetherBuildWhatOneBuildsAlone) {
    TempDir dir;
    const std::vector<std::wstring> paths = MixedPaths(dir);
    CatalogueBuildOptions alone;
    alone.readers = 1;
    const Reading one = Build(paths, alone);
    CatalogueBuildOptions together;
    together.readers = 4;
    const Reading four = Build(paths, together);

    ExpectSameEntries(one.built.catalogue, four.built.catalogue);
    EXPECT_EQ(one.built.catalogue.size(), MAX_TITLES - 2);
    ASSERT_EQ(one.built.skipped.size(), four.built.skipped.size());
    for (size_t i = 0; i < one.built.skipped.size(); ++i) {
        EXPECT_EQ(one.built.skipped[i].path, four.built.skipped[i].path);
        EXPECT_EQ(one.built.skipped[i].reason.kind, four.built.skipped[i].reason.kind);
        EXPECT_EQ(one.built.skipped[i].reason.detail, four.built.skipped[i].reason.detail);
    }
    EXPECT_EQ(one.built.skipped.back().reason.kind, SkipKind::BeyondTitleLimit);
    std::vector<size_t> inOrder(four.built.catalogue.size());
    std::iota(inOrder.begin(), inOrder.end(), 0);
    EXPECT_EQ(four.indices, inOrder);
}

TEST(CatalogueBuild, ACancelEndsTheBuildWithNothingBuilt) {
    TempDir dir;
    std::atomic<bool> cancel{false};
    CatalogueBuildOptions options;
    options.cancel = &cancel;
    options.readers = 2;
    size_t progressCalls = 0;
    options.onProgress = [&](size_t filesRead, size_t) {
        ++progressCalls;
        if (filesRead >= 1)
            cancel = true;
    };
    const Reading reading = Build(MixedPaths(dir), options);
    EXPECT_TRUE(reading.built.cancelled);
    EXPECT_TRUE(reading.built.catalogue.empty());
    EXPECT_TRUE(reading.built.skipped.empty());
    EXPECT_LE(reading.reads.size(), 2u);
    EXPECT_EQ(progressCalls, 2u);
}

// Beside a clip: a FIFO with a video's name, a packaged movie whose stored
// picture is 16384 x 8200 (a hole in the file), and one whose header block
// would make an opening reply larger than any reply may be. The clip is a
// title; the others are left out with their reasons, and the build never
// waits on the FIFO.
TEST(CatalogueBuild, FilesNoReplyCouldServeAreLeftOutWithTheirReasons) {
    constexpr uintmax_t kMiB = 1048576;
    TempDir dir;
    const auto fifo = dir.File("pipe.mp4");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    PackagedMovieLayout hugePicture;
    hugePicture.width = 16384;
    hugePicture.height = 8200;
    hugePicture.pixels = PatternBytes(64);
    const auto picture = dir.File("picture.vrm");
    WriteFileBytes(picture, PackagedMovieBytes(hugePicture));
    std::filesystem::resize_file(picture, 520 * kMiB);
    PackagedMovieLayout hugeHeader;
    hugeHeader.headerSize = static_cast<int32_t>(600 * kMiB);
    const auto header = dir.File("header.vrm");
    WriteFileBytes(header, PackagedMovieBytes(hugeHeader));
    std::filesystem::resize_file(header, 601 * kMiB);

    const auto clip = samples::H264AacMp4();
    const Reading reading = Build({Wide(fifo), Wide(picture), Wide(header), Wide(clip)});
    ASSERT_EQ(reading.built.catalogue.size(), 1u);
    EXPECT_EQ(reading.built.catalogue[0].path, Wide(clip));
    const std::pair<std::filesystem::path, std::string> expected[] = {
        {fifo, "not a regular file: a FIFO"},
        {picture,
         "a header field out of range: thumbnail size 16384 x 8200 in 537395200 bytes, above "
         "67108864"},
        {header, "too large to send: an opening of 629150464 bytes, above 536870912"},
    };
    ASSERT_EQ(reading.built.skipped.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(reading.built.skipped[i].path, Wide(expected[i].first));
        EXPECT_EQ(DescribeSkipReason(reading.built.skipped[i].reason), expected[i].second);
    }
}

// A reading that throws, as one that runs out of memory does, leaves out its
// own file with why; the files beside it are read and delivered in order.
TEST(CatalogueBuild, AReadingThatThrowsLeavesOutOnlyItsFile) {
    for (const size_t readers : {size_t{1}, size_t{3}}) {
        SCOPED_TRACE(readers);
        std::vector<std::string> delivered;
        const bool finished = ReadTitlesInOrder(
            4, ReaderCount{readers, {}}, nullptr,
            [](size_t file, FramePool&) -> TitleRead {
                if (file == 1)
                    throw std::bad_alloc();
                CatalogueEntry entry;
                entry.title = std::to_string(file);
                return {entry, {}};
            },
            [&](size_t, TitleRead& read) {
                const auto* entry = std::get_if<CatalogueEntry>(&read.outcome);
                delivered.push_back(entry != nullptr
                                        ? entry->title
                                        : DescribeSkipReason(std::get<SkipReason>(read.outcome)));
            },
            {});
        EXPECT_TRUE(finished);
        EXPECT_EQ(delivered,
                  (std::vector<std::string>{"0", "cannot be read: out of memory", "2", "3"}));
    }
}

// Five media files, one of them HDR, copied into a folder of their own,
// and a cache beside them.
class CachedBuild : public ::testing::Test {
protected:
    void SetUp() override {
        const std::filesystem::path sources[] = {samples::H264AacMp4(), samples::HevcMkv(),
                                                 samples::Vp9Webm(), samples::H264Ts(),
                                                 samples::ColourSystemMp4("pq")};
        for (size_t i = 0; i < std::size(sources); ++i) {
            const auto copy =
                media.File("clip" + std::to_string(i) + sources[i].extension().string());
            std::filesystem::copy_file(sources[i], copy);
            paths.push_back(Wide(copy));
        }
    }

    Reading BuildWith(const TitleCache& cache, size_t readers = 0) {
        CatalogueBuildOptions options;
        options.cache = &cache;
        options.readers = readers;
        return Build(paths, options);
    }

    std::vector<std::filesystem::path> EntryFiles() const {
        std::vector<std::filesystem::path> files;
        for (const auto& item : std::filesystem::directory_iterator(cacheDir.Path()))
            files.push_back(item.path());
        std::sort(files.begin(), files.end());
        return files;
    }

    static size_t FromCache(const Reading& reading) {
        return std::count_if(reading.reads.begin(), reading.reads.end(),
                             [](const FileRead& read) { return read.fromCache; });
    }

    TempDir media;
    TempDir cacheDir;
    std::vector<std::wstring> paths;
};

TEST_F(CachedBuild, AHitIsWhatAFreshReadMakes) {
    const TitleCache cache(cacheDir.Path());
    const Reading fresh = BuildWith(cache);
    EXPECT_EQ(FromCache(fresh), 0u);
    EXPECT_EQ(EntryFiles().size(), paths.size());
    const Reading again = BuildWith(cache);
    EXPECT_EQ(FromCache(again), paths.size());
    ExpectSameEntries(fresh.built.catalogue, again.built.catalogue);
    ExpectSameEntries(fresh.built.catalogue, Build(paths).built.catalogue);
}

// Whatever is wrong with an entry file, the title is read afresh and the
// file written anew.
TEST_F(CachedBuild, AnEntryThatCannotBeTrustedIsReadAgainAndRewritten) {
    paths.resize(1);
    const TitleCache cache(cacheDir.Path());
    const Reading fresh = BuildWith(cache);
    ASSERT_EQ(EntryFiles().size(), 1u);
    const std::filesystem::path entry = EntryFiles()[0];
    const std::vector<uint8_t> good = ReadFileBytes(entry);
    const std::pair<const char*, std::function<void()>> spoilers[] = {
        {"a flipped byte",
         [&] {
             std::vector<uint8_t> bytes = good;
             bytes[bytes.size() / 2] ^= 0x40;
             WriteFileBytes(entry, bytes);
         }},
        {"cut short",
         [&] {
             WriteFileBytes(entry, {good.begin(), good.begin() + 100});
         }},
        {"empty", [&] { WriteFileBytes(entry, {}); }},
        // Unreadable also for root, who reads a file whatever its mode.
        {"a folder in its place",
         [&] {
             std::filesystem::remove(entry);
             std::filesystem::create_directory(entry);
         }},
        {"from another version", [&] { (void)BuildWith(TitleCache(cacheDir.Path(), "0.9")); }},
    };
    for (const auto& [what, spoil] : spoilers) {
        spoil();
        const Reading reading = BuildWith(cache);
        EXPECT_FALSE(reading.reads.at(0).fromCache) << what;
        ExpectSameEntries(fresh.built.catalogue, reading.built.catalogue);
        EXPECT_TRUE(ReadFileBytes(entry) == good) << what;
        EXPECT_TRUE(BuildWith(cache).reads.at(0).fromCache) << what;
    }
}

TEST_F(CachedBuild, AFileChangedAfterCachingIsReadAgain) {
    const TitleCache cache(cacheDir.Path());
    (void)BuildWith(cache);
    const std::filesystem::path first = platform::PathToOsBytes(paths[0]);
    std::filesystem::copy_file(samples::GreenMiddleMp4(), first,
                               std::filesystem::copy_options::overwrite_existing);
    const Reading reading = BuildWith(cache);
    EXPECT_FALSE(reading.reads[0].fromCache);
    EXPECT_EQ(FromCache(reading), paths.size() - 1);
    ExpectSameEntries(reading.built.catalogue, Build(paths).built.catalogue);
    // Only the time changed: read again all the same.
    const auto modified = std::filesystem::last_write_time(first);
    std::filesystem::last_write_time(first, modified + std::chrono::seconds(1));
    EXPECT_FALSE(BuildWith(cache).reads[0].fromCache);
    EXPECT_TRUE(BuildWith(cache).reads[0].fromCache);
}

// Files of others in the cache's folder are not the cache's to trim.
TEST_F(CachedBuild, TheTrimRemovesOnlyTheCachesOwnEntries) {
    const std::filesystem::path others[] = {cacheDir.File("notes.txt"),
                                            cacheDir.File("0123456789abcdef.entry.old"),
                                            cacheDir.File("photo.entry")};
    for (const auto& other : others)
        WriteFileBytes(other, PatternBytes(100000));
    (void)BuildWith(TitleCache(cacheDir.Path(), TitleCache::CurrentVersion(), 1));
    EXPECT_EQ(EntryFiles().size(), std::size(others));
    for (const auto& other : others)
        EXPECT_TRUE(std::filesystem::exists(other)) << other;
}

// Room for a little more than two entries: the two used last stay.
TEST_F(CachedBuild, TheCacheStaysWithinItsBoundDroppingTheLeastRecentlyUsed) {
    (void)BuildWith(TitleCache(cacheDir.Path()));
    const uint64_t entryBytes = std::filesystem::file_size(EntryFiles()[0]);
    const TitleCache small(cacheDir.Path(), TitleCache::CurrentVersion(), entryBytes * 5 / 2);
    // One reader uses the entries in the order of the paths.
    (void)BuildWith(small, 1);
    uint64_t total = 0;
    for (const auto& file : EntryFiles())
        total += std::filesystem::file_size(file);
    EXPECT_LE(total, entryBytes * 5 / 2);
    EXPECT_EQ(EntryFiles().size(), 2u);

    CatalogueBuildOptions options;
    options.cache = &small;
    const std::vector<std::wstring> lastTwo(paths.end() - 2, paths.end());
    const Reading reading = Build(lastTwo, options);
    EXPECT_EQ(FromCache(reading), 2u);
}

}  // namespace
