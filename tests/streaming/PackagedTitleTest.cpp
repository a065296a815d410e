#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <future>

#include "platform/PathBytes.h"
#include "service/PackagedFiles.h"
#include "support/PackagedMovieWriter.h"
#include "support/SanitizerSlowdown.h"
#include "support/SessionPair.h"
#include "support/TempDir.h"
#include "tools/headset/HeadsetReplies.h"

using headset::ChunkRequest;

namespace {

constexpr int64_t kMiB = 1048576;

std::vector<uint8_t> NumberedRecords(int32_t count) {
    std::vector<uint8_t> records(static_cast<size_t>(count) * 24);
    for (size_t i = 0; i < records.size(); ++i) {
        records[i] = static_cast<uint8_t>((i / 24) * 13 + i % 24);
    }
    return records;
}

class PackagedTitleTest : public ::testing::Test {
protected:
    // Writes a packaged file and puts it in the catalogue the way the
    // catalogue walk would, with the offsets from its header.
    PackagedMovieLayout AddTitle(const std::string& name, PackagedMovieLayout layout) {
        const auto path = dir_.File(name);
        const std::vector<uint8_t> bytes = PackagedMovieBytes(layout);
        WriteFileBytes(path, bytes);
        CatalogueEntry entry;
        std::memcpy(&entry.dataOffset, bytes.data(), 4);
        std::memcpy(&entry.headerSize, bytes.data() + 4, 4);
        std::memcpy(&entry.recordCount, bytes.data() + 8 + entry.headerSize, 4);
        entry.kind = layout.kind;
        entry.title = name;
        entry.path = platform::PathFromOsBytes(path.string());
        catalogue.push_back(entry);
        return layout;
    }

    // Split where the catalogue says the header block ends, which the tool
    // can only guess at.
    headset::OpenedPackage Open(int32_t title) {
        const auto reply = pair_.Exchange(headset::OpenPackagedRequest(title));
        headset::OpenedPackage opened;
        EXPECT_TRUE(reply);
        const bool known = title >= 0 && static_cast<size_t>(title) < catalogue.size();
        if (reply) {
            EXPECT_EQ(
                headset::ParseOpenedPackageWithHeader(
                    *reply, known ? static_cast<size_t>(catalogue[title].headerSize) : 0, opened),
                "");
        }
        return opened;
    }

    // The list of chunks of every reply ends in its marker, or the parser complains.
    headset::PackagedData Fetch(int32_t title, int32_t firstRecord,
                                const std::vector<ChunkRequest>& chunks) {
        return protocol_client::Parsed(
            headset::ParsePackagedData,
            pair_.Exchange(headset::FetchPackagedRequest(title, firstRecord, chunks),
                           30000 * kSanitizerSlowdown));
    }

    static size_t RecordCount(const std::vector<uint8_t>& records) {
        return records.size() / protocol::kIndexRecordBytes;
    }
    static std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from,
                                      size_t count) {
        return std::vector<uint8_t>(bytes.begin() + from, bytes.begin() + from + count);
    }

    TempDir dir_;
    Catalogue catalogue;
    SessionPair pair_{catalogue};
};

}  // namespace

TEST_F(PackagedTitleTest, OpeningSendsTheHeaderAndAtMost200Records) {
    PackagedMovieLayout small;
    small.extraHeader = {9, 8, 7, 6, 5};
    small.records = NumberedRecords(150);
    AddTitle("small.vrm", small);
    PackagedMovieLayout large;
    large.records = NumberedRecords(1000);
    AddTitle("large.vrw", large);

    const headset::OpenedPackage first = Open(0);
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.recordCount, 150);
    EXPECT_EQ(RecordCount(first.firstRecords), 150u);
    EXPECT_EQ(first.header, PackagedHeaderBlock(small));  // extra header bytes included
    EXPECT_EQ(first.firstRecords, small.records);
    EXPECT_EQ(pair_.Session().titleIndex, 0);

    const headset::OpenedPackage second = Open(1);
    EXPECT_EQ(second.recordCount, 1000);
    EXPECT_EQ(RecordCount(second.firstRecords), 200u);
    EXPECT_EQ(second.firstRecords, Slice(large.records, 0, 200 * 24));

    EXPECT_EQ(Open(2).status, 2);
    EXPECT_EQ(Open(-1).status, 2);
}

TEST_F(PackagedTitleTest, RecordsAreFetchedTenThousandAtATime) {
    PackagedMovieLayout layout;
    layout.records = NumberedRecords(25000);
    AddTitle("many.vrm", layout);
    ASSERT_EQ(Open(0).status, 0);

    const std::pair<int32_t, size_t> cases[] = {{0, 10000}, {20000, 5000}, {25000, 0}, {-3, 0}};
    for (const auto& [from, expected] : cases) {
        const headset::PackagedData fetched = Fetch(0, from, {});
        EXPECT_EQ(RecordCount(fetched.records), expected) << from;
        if (expected > 0) {
            EXPECT_EQ(fetched.records,
                      Slice(layout.records, static_cast<size_t>(from) * 24, expected * 24));
        }
        EXPECT_TRUE(fetched.chunks.empty());
    }
}

TEST_F(PackagedTitleTest, ChunksAreServedUntilTheFirstInvalidOne) {
    PackagedMovieLayout layout;
    layout.records = NumberedRecords(3);
    layout.data = PatternBytes(1000, 5);
    AddTitle("data.vrm", layout);

    headset::PackagedData fetched =
        Fetch(0, 0, {{7, 3, 0, 100}, {7, 4, 100, 100}, {1, 1, 500, 490}, {2, 2, 0, 10}});
    ASSERT_EQ(fetched.status, 0);
    ASSERT_EQ(fetched.chunks.size(), 2u);
    EXPECT_EQ(fetched.chunks[0].firstTag, 7);
    EXPECT_EQ(fetched.chunks[0].secondTag, 3);
    EXPECT_EQ(fetched.chunks[0].bytes, Slice(layout.data, 0, 100));
    EXPECT_EQ(fetched.chunks[1].secondTag, 4);
    EXPECT_TRUE(fetched.chunks[1].bytes.empty());

    // Negative tags or offsets end the list too; a range past the end of the
    // file reads as zeros beyond it.
    fetched = Fetch(0, 3, {{0, 0, 990, 1020}, {-1, 0, 0, 10}, {0, 0, 0, 10}});
    ASSERT_EQ(fetched.chunks.size(), 1u);
    EXPECT_EQ(Slice(fetched.chunks[0].bytes, 0, 10), Slice(layout.data, 990, 10));
    EXPECT_EQ(Slice(fetched.chunks[0].bytes, 10, 20), std::vector<uint8_t>(20, 0));
    EXPECT_EQ(RecordCount(fetched.records), 0u);
}

TEST_F(PackagedTitleTest, FetchBeforeOpeningIsServed) {
    PackagedMovieLayout layout;
    layout.records = NumberedRecords(5);
    layout.data = PatternBytes(300, 2);
    AddTitle("direct.vrm", layout);
    const headset::PackagedData fetched = Fetch(0, 1, {{1, 2, 50, 60}});
    ASSERT_EQ(fetched.status, 0);
    EXPECT_EQ(RecordCount(fetched.records), 4u);
    EXPECT_EQ(fetched.records, Slice(layout.records, 24, 96));
    ASSERT_EQ(fetched.chunks.size(), 1u);
    EXPECT_EQ(fetched.chunks[0].bytes, Slice(layout.data, 50, 10));
    EXPECT_EQ(Fetch(1, 0, {}).status, 2);
}

TEST_F(PackagedTitleTest, FetchForAnotherTitleReadsThatTitlesFile) {
    PackagedMovieLayout first;
    first.data = PatternBytes(400, 1);
    AddTitle("first.vrm", first);
    PackagedMovieLayout second;
    second.records = NumberedRecords(2);
    second.extraHeader = std::vector<uint8_t>(77, 3);  // different offsets too
    second.data = PatternBytes(400, 9);
    AddTitle("second.vrm", second);

    ASSERT_EQ(Open(0).status, 0);
    headset::PackagedData fetched = Fetch(1, 0, {{0, 0, 10, 50}});
    ASSERT_EQ(fetched.chunks.size(), 1u);
    EXPECT_EQ(fetched.chunks[0].bytes, Slice(second.data, 10, 40));
    EXPECT_EQ(fetched.records, second.records);

    // And back: the pair follows the title asked for.
    fetched = Fetch(0, 0, {{0, 0, 10, 50}});
    ASSERT_EQ(fetched.chunks.size(), 1u);
    EXPECT_EQ(fetched.chunks[0].bytes, Slice(first.data, 10, 40));
}

TEST_F(PackagedTitleTest, MissingFileGivesZeroFilledReplies) {
    PackagedMovieLayout layout;
    layout.records = NumberedRecords(4);
    layout.data = PatternBytes(100, 3);
    AddTitle("gone.vrm", layout);
    std::filesystem::remove(dir_.File("gone.vrm"));

    const headset::OpenedPackage opened = Open(0);
    EXPECT_EQ(opened.status, 0);
    EXPECT_EQ(opened.recordCount, 0);
    EXPECT_EQ(opened.header, std::vector<uint8_t>(opened.header.size(), 0));
    const headset::PackagedData fetched = Fetch(0, 0, {{0, 0, 0, 10}});
    EXPECT_EQ(RecordCount(fetched.records), 4u);
    EXPECT_EQ(fetched.records, std::vector<uint8_t>(96, 0));
    ASSERT_EQ(fetched.chunks.size(), 1u);
    EXPECT_EQ(fetched.chunks[0].bytes, std::vector<uint8_t>(10, 0));
}

TEST_F(PackagedTitleTest, FileCutShortAfterTheCatalogueReadsAsZerosWhereBytesAreMissing) {
    PackagedMovieLayout layout;
    layout.records = NumberedRecords(300);
    layout.data = PatternBytes(4096, 5);
    AddTitle("cut-in-header.vrm", layout);
    AddTitle("cut-in-records.vrm", layout);
    const std::vector<uint8_t> whole = PackagedMovieBytes(layout);
    const int32_t headerSize = catalogue[0].headerSize;
    const size_t headerKept = static_cast<size_t>(headerSize) / 2;
    const size_t recordsKept = 24 * 100 + 10;
    ASSERT_EQ(truncate(dir_.File("cut-in-header.vrm").c_str(), static_cast<off_t>(8 + headerKept)),
              0);
    ASSERT_EQ(truncate(dir_.File("cut-in-records.vrm").c_str(),
                       static_cast<off_t>(12 + headerSize + recordsKept)),
              0);

    // Cut inside the header block: the record count is gone with it.
    headset::OpenedPackage opened = Open(0);
    EXPECT_EQ(opened.status, 0);
    EXPECT_EQ(opened.recordCount, 0);
    EXPECT_EQ(RecordCount(opened.firstRecords), 0u);
    std::vector<uint8_t> header = Slice(whole, 8, headerKept);
    header.resize(static_cast<size_t>(headerSize), 0);
    EXPECT_EQ(opened.header, header);
    // The catalogue still knows 300 records.
    headset::PackagedData fetched = Fetch(0, 0, {{1, 2, 0, 64}});
    EXPECT_EQ(fetched.status, 0);
    EXPECT_EQ(RecordCount(fetched.records), 300u);
    EXPECT_EQ(fetched.records, std::vector<uint8_t>(300 * 24, 0));
    ASSERT_EQ(fetched.chunks.size(), 1u);
    EXPECT_EQ(fetched.chunks[0].bytes, std::vector<uint8_t>(64, 0));

    // Cut inside the record table.
    opened = Open(1);
    EXPECT_EQ(opened.status, 0);
    EXPECT_EQ(opened.recordCount, 300);
    EXPECT_EQ(opened.header, Slice(whole, 8, static_cast<size_t>(headerSize)));
    ASSERT_EQ(RecordCount(opened.firstRecords), 200u);
    std::vector<uint8_t> records = Slice(layout.records, 0, recordsKept);
    records.resize(200 * 24, 0);
    EXPECT_EQ(opened.firstRecords, records);
    fetched = Fetch(1, 0, {{0, 0, 0, 16}});
    records.resize(300 * 24, 0);
    EXPECT_EQ(fetched.records, records);
    ASSERT_EQ(fetched.chunks.size(), 1u);
    EXPECT_EQ(fetched.chunks[0].bytes, std::vector<uint8_t>(16, 0));
}

// The reader keeps its position when asked to seek past the end, so each of
// these once read bytes from wherever the read before it had stopped.
TEST_F(PackagedTitleTest, BytesPastTheEndReadAsZerosWhateverWasReadBefore) {
    PackagedMovieLayout layout;
    layout.records = NumberedRecords(5);
    layout.data = PatternBytes(1000, 8);
    AddTitle("whole.vrm", layout);
    AddTitle("cut-in-fields.vrm", layout);
    AddTitle("cut-after-header.vrm", layout);
    const int32_t headerSize = catalogue[0].headerSize;
    ASSERT_EQ(truncate(dir_.File("cut-in-fields.vrm").c_str(), 6), 0);
    ASSERT_EQ(truncate(dir_.File("cut-after-header.vrm").c_str(), 8 + headerSize), 0);

    // A chunk that starts past the end, after one that read real bytes.
    headset::PackagedData fetched =
        Fetch(0, 5, {{0, 0, 0, 100}, {0, 1, 2000, 2100}, {0, 2, 1000, 1010}});
    ASSERT_EQ(fetched.chunks.size(), 3u);
    EXPECT_EQ(fetched.chunks[0].bytes, Slice(layout.data, 0, 100));
    EXPECT_EQ(fetched.chunks[1].bytes, std::vector<uint8_t>(100, 0));
    EXPECT_EQ(fetched.chunks[2].bytes, std::vector<uint8_t>(10, 0));

    // The header of a file cut inside its leading fields.
    const headset::OpenedPackage opened = Open(1);
    EXPECT_EQ(opened.status, 0);
    EXPECT_EQ(opened.header, std::vector<uint8_t>(static_cast<size_t>(headerSize), 0));
    EXPECT_EQ(opened.recordCount, 0);

    // Records past the end, read by a fresh reader still at the file's start.
    fetched = Fetch(2, 0, {});
    EXPECT_EQ(RecordCount(fetched.records), 5u);
    EXPECT_EQ(fetched.records, std::vector<uint8_t>(5 * 24, 0));
}

TEST_F(PackagedTitleTest, FileCutShortOrDeletedWhileOpenServesWhatIsLeftThenZeros) {
    PackagedMovieLayout layout;
    layout.records = NumberedRecords(300);
    layout.data = PatternBytes(24 * kMiB, 6);
    AddTitle("shrinking.vrm", layout);
    const auto path = dir_.File("shrinking.vrm");
    ASSERT_EQ(Open(0).status, 0);  // the first 8 MiB are now read into memory
    const int64_t dataStart = 8 + catalogue[0].dataOffset;
    ASSERT_EQ(truncate(path.c_str(), dataStart + 16 * kMiB), 0);

    // Before the new end, across it, and after it.
    headset::PackagedData fetched = Fetch(0, 0,
                                          {{0, 0, 10 * kMiB, 10 * kMiB + 4096},
                                           {0, 1, 16 * kMiB - 100, 16 * kMiB + 100},
                                           {0, 2, 20 * kMiB, 20 * kMiB + 4096}});
    EXPECT_EQ(fetched.status, 0);
    EXPECT_EQ(fetched.records, layout.records);
    ASSERT_EQ(fetched.chunks.size(), 3u);
    EXPECT_EQ(fetched.chunks[0].bytes, Slice(layout.data, 10 * kMiB, 4096));
    std::vector<uint8_t> across = Slice(layout.data, 16 * kMiB - 100, 100);
    across.resize(200, 0);
    EXPECT_EQ(fetched.chunks[1].bytes, across);
    EXPECT_EQ(fetched.chunks[2].bytes, std::vector<uint8_t>(4096, 0));

    // Deleted while open: the open file still reads as it was left, also
    // where nothing of it was in memory yet.
    std::filesystem::remove(path);
    fetched = Fetch(0, 0, {{0, 3, 13 * kMiB, 13 * kMiB + 4096}, {0, 4, 18 * kMiB, 18 * kMiB + 8}});
    ASSERT_EQ(fetched.chunks.size(), 2u);
    EXPECT_EQ(fetched.chunks[0].bytes, Slice(layout.data, 13 * kMiB, 4096));
    EXPECT_EQ(fetched.chunks[1].bytes, std::vector<uint8_t>(8, 0));

    // Opened again, the file is gone: zeros throughout.
    const headset::OpenedPackage reopened = Open(0);
    EXPECT_EQ(reopened.status, 0);
    EXPECT_EQ(reopened.recordCount, 0);
    EXPECT_EQ(RecordCount(reopened.firstRecords), 0u);
    EXPECT_EQ(reopened.header, std::vector<uint8_t>(reopened.header.size(), 0));
    fetched = Fetch(0, 0, {{0, 5, 0, 4096}});
    EXPECT_EQ(fetched.records, std::vector<uint8_t>(300 * 24, 0));
    ASSERT_EQ(fetched.chunks.size(), 1u);
    EXPECT_EQ(fetched.chunks[0].bytes, std::vector<uint8_t>(4096, 0));
}

TEST_F(PackagedTitleTest, HugeChunksEndTheListAndTheReplyStaysBounded) {
    if (kSanitizerSlowdown > 1)
        GTEST_SKIP() << "a 256 MiB reply takes too long to build and move under ThreadSanitizer";
    PackagedMovieLayout layout;
    AddTitle("huge.vrm", layout);
    // Give the file a 300 MiB data region without writing it.
    {
        const int fd = ::open(dir_.File("huge.vrm").c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, 300 * kMiB), 0);
        ::close(fd);
    }
    headset::PackagedData fetched = Fetch(0, 0, {{0, 0, 0, 64 * kMiB + 1}, {0, 1, 0, 10}});
    EXPECT_TRUE(fetched.chunks.empty());

    fetched = Fetch(0, 0, {{0, 0, 0, 0x7FFFFFFF}});
    EXPECT_TRUE(fetched.chunks.empty());

    // 256 MiB in all; the next byte would pass it.
    std::vector<ChunkRequest> chunks;
    for (int i = 0; i < 4; ++i)
        chunks.push_back({i, 0, i * 64 * kMiB, (i + 1) * 64 * kMiB});
    chunks.push_back({9, 9, 0, 1});
    fetched = Fetch(0, 0, chunks);
    EXPECT_EQ(fetched.chunks.size(), 4u);

    // Still answering.
    EXPECT_EQ(Fetch(0, 0, {{0, 0, 0, 4}}).chunks.size(), 1u);
}

TEST_F(PackagedTitleTest, SequentialFetchesReadTheFileInWholeBlocks) {
    PackagedMovieLayout layout;
    layout.data = PatternBytes(64 * kMiB, 4);
    AddTitle("stream.vrm", layout);
    ASSERT_EQ(Open(0).status, 0);
    ClientSession& session = pair_.Session();
    EXPECT_EQ(session.packaged->cacheReader.LoadedBlockCount(), 2u);  // the first 8 MiB

    const int64_t dataStart = 8 + catalogue[0].dataOffset;
    auto isCached = [&](int64_t fileOffset) {
        for (const auto& block : session.packaged->cacheReader.CachedBlocks()) {
            if (block.start <= fileOffset && fileOffset < block.start + block.validLength)
                return true;
        }
        return false;
    };
    for (int64_t mib = 0; mib < 64; ++mib) {
        // Read ahead after the last reply: every range is in memory before it
        // is asked for. Reading ahead stops short of the end of the file, so
        // the last range's final bytes are the exception.
        if (mib < 63) {
            ASSERT_TRUE(isCached(dataStart + (mib + 1) * kMiB - 1)) << mib;
        }
        const headset::PackagedData fetched = Fetch(0, 0, {{0, 0, mib * kMiB, (mib + 1) * kMiB}});
        ASSERT_EQ(fetched.chunks.size(), 1u);
        ASSERT_EQ(fetched.chunks[0].bytes,
                  Slice(layout.data, static_cast<size_t>(mib * kMiB), kMiB))
            << mib;
    }
    // 64 MiB plus the header and records before it span 17 blocks of 4 MiB,
    // each loaded once, and the file is read only to fill them: a block is
    // read in 1 MiB pieces, never a fetch's range on its own.
    const bs100MMemRead& cache = session.packaged->cacheReader;
    EXPECT_EQ(cache.LoadedBlockCount(), 17u);
    EXPECT_LE(cache.SharedCache()->FileReadCount(), 4 * cache.LoadedBlockCount());
}

// Sessions on one title share its file and its block cache, each reading
// from its own place at the same time; the title closes when the last of
// them lets go, and a session that opens another title lets go of the first.
TEST_F(PackagedTitleTest, SessionsOnOneTitleShareItsCacheUntilTheLastLetsGo) {
    PackagedMovieLayout layout;
    layout.data = PatternBytes(24 * kMiB, 6);
    AddTitle("shared.vrm", layout);
    AddTitle("other.vrm", PackagedMovieLayout{});
    PackagedFiles files;
    SessionPair second(catalogue);
    pair_.Session().packagedFiles = &files;
    second.Session().packagedFiles = &files;
    ASSERT_EQ(Open(0).status, 0);
    ASSERT_TRUE(second.Exchange(headset::OpenPackagedRequest(0)));
    EXPECT_EQ(files.OpenCount(), 1u);
    EXPECT_EQ(pair_.Session().packaged->cacheReader.SharedCache(),
              second.Session().packaged->cacheReader.SharedCache());

    auto fetchFrom = [&](SessionPair& pair, int64_t firstMiB) {
        for (int64_t mib = firstMiB; mib < firstMiB + 12; ++mib) {
            const auto reply = pair.Exchange(headset::FetchPackagedRequest(
                0, 0, std::vector<ChunkRequest>{{0, 0, mib * kMiB, (mib + 1) * kMiB}}));
            headset::PackagedData fetched;
            if (!reply || !headset::ParsePackagedData(*reply, fetched).empty() ||
                fetched.chunks.size() != 1 ||
                fetched.chunks[0].bytes !=
                    Slice(layout.data, static_cast<size_t>(mib * kMiB), kMiB))
                return false;
        }
        return true;
    };
    auto racing = std::async(std::launch::async, fetchFrom, std::ref(second), 10);
    EXPECT_TRUE(fetchFrom(pair_, 0));
    EXPECT_TRUE(racing.get());

    ASSERT_TRUE(second.Exchange(headset::OpenPackagedRequest(1)));
    EXPECT_EQ(files.OpenCount(), 2u);
    CloseMedia(pair_.Session());
    EXPECT_EQ(files.OpenCount(), 1u);
    CloseMedia(second.Session());
    EXPECT_EQ(files.OpenCount(), 0u);
}
