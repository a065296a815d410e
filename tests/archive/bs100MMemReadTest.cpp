#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <future>
#include <random>
#include <string>
#include <thread>

#include "archive/bs100MMemRead.h"
#include "support/Bytes.h"
#include "support/FakeClock.h"
#include "support/SanitizerSlowdown.h"
#include "support/TempDir.h"

namespace {

constexpr int64_t kMiB = 1048576;

class ReadAheadReaderTest : public ::testing::Test {
protected:
    // Writes `bytes` to a file and opens a bsFileRead on it.
    bsFileRead& OpenFile(const std::vector<uint8_t>& bytes) {
        content_ = bytes;
        WriteFileBytes(path_, bytes);
        file_ = std::make_unique<bsFileRead>(path_.wstring(), L"rb");
        return *file_;
    }

    // A sparse file with Marker(mib) at the start of every MiB: cheap to
    // make however large, and every block it is read in says where it lies.
    void WriteSparseMarkedFile(int64_t size) {
        WriteFileBytes(path_, {});
        const int fd = ::open(path_.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, size), 0);
        for (int64_t mib = 0; mib < size / kMiB; ++mib) {
            const uint32_t marker = Marker(mib);
            ASSERT_EQ(pwrite(fd, &marker, sizeof marker, mib * kMiB), 4);
        }
        ::close(fd);
    }
    static uint32_t Marker(int64_t mib) { return static_cast<uint32_t>(mib) * 2654435761u; }

    std::vector<int64_t> CachedStarts(const bs100MMemRead& reader) const {
        std::vector<int64_t> starts;
        for (const auto& block : reader.CachedBlocks())
            starts.push_back(block.start);
        return starts;
    }

    const bs100MMemRead::BlockView* FindBlock(const bs100MMemRead& reader, int64_t start) {
        views_ = reader.CachedBlocks();
        for (const auto& block : views_) {
            if (block.start == start)
                return &block;
        }
        return nullptr;
    }

    TempDir dir_;
    std::filesystem::path path_ = dir_.File("movie.vrm");
    std::vector<uint8_t> content_;
    std::unique_ptr<bsFileRead> file_;
    std::vector<bs100MMemRead::BlockView> views_;
};

}  // namespace

TEST_F(ReadAheadReaderTest, TenMebibyteFileIsCachedInThreeAlignedBlocks) {
    bs100MMemRead reader(&OpenFile(PatternBytes(10 * kMiB)));
    EXPECT_EQ(reader.Size(), static_cast<uint64_t>(10 * kMiB));
    EXPECT_EQ(reader.BlockSize(), 4194304);

    std::vector<uint8_t> all(10 * kMiB);
    reader.SerializeBytes(all.data(), all.size());
    EXPECT_EQ(all, content_);
    EXPECT_TRUE(reader.IsEnd());

    const auto blocks = reader.CachedBlocks();
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].start, 0);
    EXPECT_EQ(blocks[1].start, 4194304);
    EXPECT_EQ(blocks[2].start, 8388608);
    EXPECT_EQ(blocks[0].validLength, 4194304);
    EXPECT_EQ(blocks[2].validLength, 2097152);
}

TEST_F(ReadAheadReaderTest, ReadAcrossABlockEdgeJoinsBothBlocks) {
    bs100MMemRead reader(&OpenFile(PatternBytes(10 * kMiB)));
    ASSERT_TRUE(reader.Seek(4194300, 0));
    EXPECT_EQ(CachedStarts(reader), (std::vector<int64_t>{0}));

    std::vector<uint8_t> bytes(100);
    reader.SerializeBytes(bytes.data(), bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), content_.begin() + 4194300));
    EXPECT_EQ(reader.Tell(), 4194400u);
    EXPECT_EQ(CachedStarts(reader), (std::vector<int64_t>{0, 4194304}));
}

TEST_F(ReadAheadReaderTest, ReadsAreCutAtTheEndAndKeepTheRest) {
    bs100MMemRead reader(&OpenFile(PatternBytes(1000)));
    reader.Seek(-2, 2);
    int32_t value = -1;
    reader.Serialize(value);
    EXPECT_EQ(value & 0xFFFF, content_[998] | (content_[999] << 8));
    EXPECT_EQ(static_cast<uint32_t>(value) >> 16, 0xFFFFu);
    reader.SerializeBytes(nullptr, 10);
    EXPECT_EQ(reader.Tell(), 1000u);
}

TEST_F(ReadAheadReaderTest, BlockSizeIsClamped) {
    bs100MMemRead reader(&OpenFile(PatternBytes(100)));
    const std::pair<int64_t, int64_t> cases[] = {
        {1000, 1048576}, {4194304, 4194304}, {1073741824, 268435456}, {-5, 1048576}};
    for (const auto& [request, expected] : cases) {
        reader.SetBlockSize(request);
        EXPECT_EQ(reader.BlockSize(), expected) << request;
    }
}

TEST_F(ReadAheadReaderTest, SetBlockSizeDropsEveryBlock) {
    bs100MMemRead reader(&OpenFile(PatternBytes(3 * kMiB)));
    uint8_t byte = 0;
    reader.SerializeBytes(&byte, 1);
    ASSERT_EQ(reader.CachedBlocks().size(), 1u);
    reader.SetBlockSize(kMiB);
    EXPECT_TRUE(reader.CachedBlocks().empty());
    reader.SerializeBytes(&byte, 1);
    EXPECT_EQ(byte, content_[1]);
    EXPECT_EQ(reader.CachedBlocks()[0].validLength, kMiB);
}

TEST_F(ReadAheadReaderTest, SeekRules) {
    bs100MMemRead reader(&OpenFile(PatternBytes(5000)));
    EXPECT_TRUE(reader.Seek(5000, 0));
    EXPECT_EQ(reader.Tell(), 5000u);
    EXPECT_TRUE(reader.Seek(5001, 0));
    EXPECT_EQ(reader.Tell(), 5000u);
    EXPECT_TRUE(reader.Seek(-6000, 1));
    EXPECT_EQ(reader.Tell(), 5000u);
    EXPECT_TRUE(reader.Seek(-5001, 2));
    EXPECT_EQ(reader.Tell(), 5000u);
    EXPECT_TRUE(reader.Seek(-5000, 2));
    EXPECT_EQ(reader.Tell(), 0u);
    EXPECT_TRUE(reader.Seek(1, 1));
    EXPECT_EQ(reader.Tell(), 1u);
    EXPECT_TRUE(reader.Seek(7, 9));
    EXPECT_EQ(reader.Tell(), 1u);
    // Offsets at the 64-bit limits are refused, not overflowed.
    EXPECT_TRUE(reader.Seek(100, 0));
    EXPECT_TRUE(reader.Seek(INT64_MAX, 1));
    EXPECT_TRUE(reader.Seek(INT64_MAX, 2));
    EXPECT_TRUE(reader.Seek(INT64_MIN, 1));
    EXPECT_TRUE(reader.Seek(INT64_MIN, 2));
    EXPECT_EQ(reader.Tell(), 100u);
    EXPECT_EQ(reader.ClassName(), L"bs100MMemRead");
    EXPECT_FALSE(reader.IsStoring());
}

TEST_F(ReadAheadReaderTest, ReadAheadLoadsTheNextBlockAndStopsAtTheEnd) {
    bs100MMemRead reader(&OpenFile(PatternBytes(10 * kMiB)));
    reader.SetBlockSize(4194304);
    reader.ReadAhead(4194304);
    EXPECT_EQ(CachedStarts(reader), (std::vector<int64_t>{0, 4194304}));
    EXPECT_EQ(reader.Tell(), 0u);

    reader.Seek(8388608, 0);
    reader.ReadAhead(4194304);
    EXPECT_EQ(reader.Tell(), 8388608u);
    EXPECT_EQ(CachedStarts(reader), (std::vector<int64_t>{0, 4194304, 8388608}));
    uint8_t byte = 0;
    reader.SerializeBytes(&byte, 1);
    EXPECT_EQ(byte, content_[8388608]);
}

TEST_F(ReadAheadReaderTest, NullSourceDeliversNothing) {
    bs100MMemRead reader(nullptr);
    EXPECT_EQ(reader.Size(), 0u);
    EXPECT_FALSE(reader.LoadBlock());
    EXPECT_TRUE(reader.Seek(0, 0));
    int32_t value = 5;
    reader.Serialize(value);
    EXPECT_EQ(value, 5);
    reader.ReadAhead(4194304);
    EXPECT_TRUE(reader.CachedBlocks().empty());
}

TEST_F(ReadAheadReaderTest, FileReaderOutlivesTheCache) {
    bsFileRead& file = OpenFile(PatternBytes(2 * kMiB));
    {
        bs100MMemRead reader(&file);
        std::vector<uint8_t> bytes(10);
        reader.Seek(kMiB, 0);
        reader.SerializeBytes(bytes.data(), bytes.size());
    }
    EXPECT_TRUE(file.IsOpen());
    ASSERT_TRUE(file.Seek(5, 0));
    uint8_t byte = 0;
    file.Serialize(byte);
    EXPECT_EQ(byte, content_[5]);
}

TEST_F(ReadAheadReaderTest, CacheLoadsLeaveTheFilePositionAlone) {
    bsFileRead& file = OpenFile(PatternBytes(3 * kMiB));
    file.Seek(123, 0);
    bs100MMemRead reader(&file);
    reader.Seek(2 * kMiB, 0);
    reader.ReadAhead(4194304);
    EXPECT_EQ(file.Tell(), 123u);
}

TEST_F(ReadAheadReaderTest, FileThatShrankReadsAsZeros) {
    bsFileRead& file = OpenFile(PatternBytes(3 * kMiB));
    bs100MMemRead reader(&file);
    reader.SetBlockSize(kMiB);
    ASSERT_EQ(truncate(path_.c_str(), kMiB + 10), 0);

    std::vector<uint8_t> bytes(100, 0xEE);
    reader.Seek(kMiB, 0);
    reader.SerializeBytes(bytes.data(), bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 10, content_.begin() + kMiB));
    EXPECT_TRUE(std::all_of(bytes.begin() + 10, bytes.end(), [](uint8_t b) { return b == 0; }));

    std::fill(bytes.begin(), bytes.end(), 0xEE);
    reader.Seek(2 * kMiB, 0);
    reader.SerializeBytes(bytes.data(), bytes.size());
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(ReadAheadReaderTest, AgeRuleRecyclesOneReadBlockPerRun) {
    FakeClock clock(/*now=*/0, /*processStart=*/0);
    bs100MMemRead reader(&OpenFile(PatternBytes(6 * kMiB)));
    reader.SetBlockSize(kMiB);
    uint8_t byte = 0;
    auto readAt = [&](int64_t offset) {
        reader.Seek(offset, 0);
        reader.SerializeBytes(&byte, 1);
        EXPECT_EQ(byte, content_[offset]);
    };

    readAt(0);
    readAt(kMiB);
    reader.ReadAhead(kMiB);  // block 2 is loaded but never read
    ASSERT_EQ(CachedStarts(reader), (std::vector<int64_t>{0, kMiB, 2 * kMiB}));
    EXPECT_EQ(FindBlock(reader, 0)->lastUse, 0u);
    EXPECT_TRUE(FindBlock(reader, 0)->used);
    EXPECT_FALSE(FindBlock(reader, 2 * kMiB)->used);

    // Past 100 s of run time, a miss moves the lowest eligible block (0) to the
    // spare list and reuses it at once; block 1 qualifies too but must wait.
    clock.Set(100001);
    readAt(3 * kMiB);
    EXPECT_EQ(CachedStarts(reader), (std::vector<int64_t>{kMiB, 2 * kMiB, 3 * kMiB}));
    EXPECT_EQ(reader.SpareBlockCount(), 0u);

    // Within 10 s of the last run the rule does not run again.
    clock.Advance(5000);
    readAt(4 * kMiB);
    EXPECT_EQ(CachedStarts(reader), (std::vector<int64_t>{kMiB, 2 * kMiB, 3 * kMiB, 4 * kMiB}));

    // The next run takes block 1; block 2 was never read and is never moved.
    clock.Advance(6000);
    readAt(5 * kMiB);
    EXPECT_EQ(CachedStarts(reader), (std::vector<int64_t>{2 * kMiB, 3 * kMiB, 4 * kMiB, 5 * kMiB}));
    for (int run = 0; run < 4; ++run) {
        clock.Advance(10001);
        readAt(run % 2 == 0 ? 0 : kMiB);
    }
    EXPECT_NE(FindBlock(reader, 2 * kMiB), nullptr);
}

TEST_F(ReadAheadReaderTest, BlockLeftForACachedBlockIsStampedWithNow) {
    FakeClock clock(/*now=*/50000, /*processStart=*/0);
    bs100MMemRead reader(&OpenFile(PatternBytes(4 * kMiB)));
    reader.SetBlockSize(kMiB);
    uint8_t byte = 0;
    reader.Seek(0, 0);
    reader.SerializeBytes(&byte, 1);
    reader.Seek(kMiB, 0);
    reader.SerializeBytes(&byte, 1);
    clock.Set(90000);
    reader.Seek(0, 0);  // block 1 is left for cached block 0
    EXPECT_EQ(FindBlock(reader, kMiB)->lastUse, 90000u);

    // 100 s after start block 0 is current and block 1 too young: nothing moves.
    clock.Set(150000);
    reader.Seek(2 * kMiB, 0);
    EXPECT_EQ(CachedStarts(reader), (std::vector<int64_t>{0, kMiB, 2 * kMiB}));
}

TEST_F(ReadAheadReaderTest, CacheStaysWithinItsBoundWhileStreaming) {
    // A sparse 400 MiB file with a marker at every MiB: cheap to make, and
    // four times the bound, so an unbounded cache would show at once.
    constexpr int64_t kFileSize = 400 * kMiB;
    ASSERT_NO_FATAL_FAILURE(WriteSparseMarkedFile(kFileSize));
    bsFileRead file(path_.wstring(), L"rb");
    bs100MMemRead reader(&file);
    reader.SetBlockSize(4194304);
    reader.ReadAhead(4194304);
    const size_t bound = reader.MaxCachedBlocks();
    EXPECT_EQ(bound, 25u);

    std::vector<uint8_t> chunk(kMiB);
    for (int64_t mib = 0; mib < kFileSize / kMiB; ++mib) {
        reader.SerializeBytes(chunk.data(), chunk.size());
        uint32_t marker = 0;
        std::memcpy(&marker, chunk.data(), sizeof marker);
        ASSERT_EQ(marker, Marker(mib)) << mib;
        reader.ReadAhead(4194304);
        ASSERT_LE(reader.CachedBlocks().size() + reader.SpareBlockCount(), bound);
    }
    EXPECT_TRUE(reader.IsEnd());
    // Full, the cache gives up the block the reader passed last, never one
    // it reads ahead into: each block is read from the file once.
    EXPECT_EQ(reader.LoadedBlockCount(), static_cast<uint64_t>(kFileSize / 4194304));

    // Going back to the start still reads the right bytes.
    reader.Seek(7 * kMiB, 0);
    uint32_t marker = 0;
    reader.Serialize(marker);
    EXPECT_EQ(marker, Marker(7));
}

TEST_F(ReadAheadReaderTest, BlocksStillLoadingAreWaitedForOrDropped) {
    bsFileRead& file = OpenFile(PatternBytes(24 * kMiB));
    for (int round = 0; round < 20; ++round) {
        bs100MMemRead reader(&file);
        reader.SetBlockSize(kMiB);
        reader.ReadAhead(8 * kMiB);  // queues several blocks at once
        if (round % 3 == 0)
            reader.SetBlockSize(2 * kMiB);
        if (round % 3 == 1) {
            std::vector<uint8_t> bytes(3 * kMiB);
            reader.Seek(5 * kMiB - 7, 0);
            reader.SerializeBytes(bytes.data(), bytes.size());
            ASSERT_TRUE(std::equal(bytes.begin(), bytes.end(), content_.begin() + 5 * kMiB - 7));
        }
        // round % 3 == 2: the reader goes while its loader may still be busy.
    }
    EXPECT_TRUE(file.IsOpen());
}

// Reads racing the loader, over short files whose last block is only a few
// bytes long, in blocks of odd sizes that are no multiple of the loader's
// pieces. Each round queues the blocks up to the last, reads the last one
// before the loader reaches it, and lets the age rule (the fake clock jumps
// past its limit) recycle that block at once, first for a block filled on the
// spot and then for one read ahead, while the loader may still hold an entry
// or a piece of it. Every read must deliver the file's bytes, and nothing may
// wait for ever.
TEST_F(ReadAheadReaderTest, ReadsRacingReadAheadOnRecycledBlocks) {
    FakeClock clock(/*now=*/0, /*processStart=*/0);
    const std::vector<uint8_t> pattern = PatternBytes(9 * kMiB, 5);
    std::vector<std::unique_ptr<bsFileRead>> files;
    for (int64_t length : {7 * kMiB + 3, 8 * kMiB + 777, 9 * kMiB - 12345}) {
        const std::filesystem::path path = dir_.File("short" + std::to_string(length));
        WriteFileBytes(path, {pattern.begin(), pattern.begin() + length});
        files.push_back(std::make_unique<bsFileRead>(path.wstring(), L"rb"));
    }
    std::promise<void> finished;
    std::thread watchdog([finished = finished.get_future()] {
        if (finished.wait_for(std::chrono::seconds(30 * kSanitizerSlowdown)) !=
            std::future_status::ready) {
            std::fprintf(stderr, "the reader waits for a block that is never filled\n");
            std::abort();
        }
    });

    std::mt19937 random(14);
    auto below = [&](int64_t bound) { return static_cast<int64_t>(random() % bound); };
    std::vector<uint8_t> bytes(4096);
    for (int round = 0; round < 400 / kSanitizerSlowdown && !HasFailure(); ++round) {
        bsFileRead& file = *files[random() % files.size()];
        const auto length = static_cast<int64_t>(file.Size());
        const int64_t fullBlocks = 4 + below(3);
        bs100MMemRead reader(&file);
        reader.SetBlockSize((length - 1 - below(4096)) / fullBlocks);
        const int64_t blockSize = reader.BlockSize();
        const int64_t last = fullBlocks * blockSize;
        const int64_t behind = blockSize * (1 + below(fullBlocks - 1));
        auto readAt = [&](int64_t at, size_t count) {
            bytes.assign(count, 0);
            reader.Seek(at, 0);
            reader.SerializeBytes(bytes.data(), count);
            const auto delivered = static_cast<size_t>(std::min<int64_t>(count, length - at));
            ASSERT_TRUE(std::equal(bytes.begin(), bytes.begin() + delivered, pattern.begin() + at))
                << "round " << round << " at " << at;
        };
        auto leaveAndAge = [&] {
            reader.Seek(behind, 0);
            clock.Advance(bs100MMemRead::kBlockMaxAgeMs + 1);
        };
        reader.Seek(behind, 0);
        reader.ReadAhead(static_cast<uint64_t>(last + 1 - behind));
        readAt(last, 1);
        leaveAndAge();
        // The last block becomes the first; the varying read gives the loader
        // a varying head start on the entry it may still hold.
        readAt(0, static_cast<size_t>(1 + below(blockSize)));
        leaveAndAge();
        reader.ReadAhead(static_cast<uint64_t>(last + 1 - behind));  // and the last again
        readAt(0, 4096);  // meanwhile the loader may finish what it held
        readAt(last, 1);
    }
    finished.set_value();
    watchdog.join();
}

// Readers on one cache, each on its own thread, keep their own places and
// read the file's bytes while the cache recycles blocks under them all: a
// sparse file four times the bound, with a marker at every MiB, read
// forward from four places with seeks back now and then. Readers that read
// the same blocks at once load each of them once.
TEST_F(ReadAheadReaderTest, ReadersSharingACacheKeepTheirPlacesAndLoadEachBlockOnce) {
    constexpr int64_t kFileSize = 400 * kMiB;
    ASSERT_NO_FATAL_FAILURE(WriteSparseMarkedFile(kFileSize));
    bsFileRead file(path_.wstring(), L"rb");
    auto cache = std::make_shared<BlockCache>(&file);
    auto readMarkers = [&](int64_t firstMiB, int seed) {
        bs100MMemRead reader(cache);
        std::mt19937 random(static_cast<uint32_t>(seed));
        int64_t mib = firstMiB;
        for (int step = 0; step < 300 / kSanitizerSlowdown; ++step) {
            if (random() % 50 == 0)
                mib = std::max<int64_t>(0, mib - 30);
            uint32_t marker = 0;
            reader.Seek(mib * kMiB, 0);
            reader.Serialize(marker);
            reader.ReadAhead(4194304);
            if (marker != Marker(mib))
                return false;
            mib = (mib + 1) % (kFileSize / kMiB);
        }
        return true;
    };
    std::vector<std::future<bool>> readers;
    for (int place = 0; place < 4; ++place)
        readers.push_back(std::async(std::launch::async, readMarkers, place * 100, place));
    for (auto& reader : readers)
        EXPECT_TRUE(reader.get());
    EXPECT_LE(cache->CachedBlocks().size() + cache->SpareBlockCount(), cache->MaxCachedBlocks());

    // Two readers over the same 20 blocks at once.
    auto shared = std::make_shared<BlockCache>(&file);
    auto readAll = [&] {
        bs100MMemRead reader(shared);
        std::vector<uint8_t> chunk(kMiB);
        for (int64_t mib = 0; mib < 80; ++mib) {
            reader.SerializeBytes(chunk.data(), chunk.size());
            reader.ReadAhead(4194304);
        }
    };
    auto first = std::async(std::launch::async, readAll);
    readAll();
    first.get();
    // The 20, the one the readers end at, and the one read ahead of it.
    EXPECT_EQ(shared->LoadedBlockCount(), 22u);
}
