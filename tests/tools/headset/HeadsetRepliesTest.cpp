#include <gtest/gtest.h>

#include "protocol/ReplyFrame.h"
#include "support/PackagedMovieWriter.h"
#include "tools/headset/Announcement.h"
#include "tools/headset/HeadsetReplies.h"
#include "tools/headset/HeadsetRequests.h"
#include "tools/headset/LatencySummary.h"
#include "tools/headset/PackagedRanges.h"

using namespace headset;

namespace {

// A payload as the server frames it: the message, then zeros to a multiple
// of 16 with the 4-byte length in front.
std::vector<uint8_t> Framed(std::vector<uint8_t> message) {
    message.resize(message.size() + ReplyPaddingFor(message.size()), 0);
    return message;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> bytes, const std::vector<uint8_t>& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return bytes;
}

std::vector<uint8_t> Announcing(int32_t further, size_t extraBytes) {
    std::vector<uint8_t> bytes;
    AppendLittleEndian(bytes, uint64_t{0xD6FEDF35363046D8ull});
    bytes = bytes + std::vector<uint8_t>{10, 0, 0, 1};
    for (int32_t value : {23107, 3, further})
        AppendLittleEndian(bytes, value);
    for (size_t i = 0; i < extraBytes; ++i)
        bytes.push_back(static_cast<uint8_t>(20 + i));
    return bytes;
}

std::vector<uint8_t> Batch(int32_t status, int32_t count, const std::vector<int32_t>& sizes) {
    protocol::PacketBatchHead head;
    head.status = status;
    head.count = count;
    std::vector<uint8_t> bytes = protocol::Encoded(head);
    for (int32_t size : sizes) {
        bytes = bytes + protocol::Encoded(protocol::PacketRecord{0, size, 1, 0, 0, 33333}) +
                PatternBytes(static_cast<size_t>(std::max(size, 0)), 3);
    }
    return bytes;
}

std::vector<uint8_t> Record(int32_t a, int32_t b, int64_t start, int64_t end) {
    return protocol::Encoded(ChunkRequest{a, b, start, end});
}

std::vector<uint8_t> Package(int32_t recordCount, const std::vector<uint8_t>& header,
                             const std::vector<uint8_t>& records) {
    OpenedPackage opened;
    opened.recordCount = recordCount;
    opened.header = header;
    opened.firstRecords = records;
    return protocol::Encoded(opened);
}

}  // namespace

TEST(AnnouncementParsing, TellsWellFormedDatagramsFromDamagedOnes) {
    Announcement server;
    EXPECT_EQ(ParseAnnouncement(Announcing(0, 0).data(), 24, server), "");
    EXPECT_EQ(server.addresses.size(), 1u);
    EXPECT_EQ(FormatAddress(server.addresses[0]), "10.0.0.1");
    EXPECT_EQ(server.titleCount, 3);
    EXPECT_FALSE(server.placeholderAddress);

    const std::vector<uint8_t> two = Announcing(1, 4);
    EXPECT_EQ(ParseAnnouncement(two.data(), two.size(), server), "");
    ASSERT_EQ(server.addresses.size(), 2u);
    EXPECT_EQ(FormatAddress(server.addresses[1]), "20.21.22.23");

    EXPECT_EQ(ParseAnnouncement(Announcing(-1, 0).data(), 24, server), "");
    EXPECT_TRUE(server.placeholderAddress);

    std::vector<uint8_t> wrongMagic = Announcing(0, 0);
    wrongMagic[0] ^= 1;
    EXPECT_EQ(ParseAnnouncement(wrongMagic.data(), wrongMagic.size(), server), "wrong magic");
    EXPECT_NE(ParseAnnouncement(Announcing(0, 0).data(), 23, server), "");
    // A count that promises addresses the datagram does not hold, and one
    // that would have us read far past it.
    EXPECT_NE(ParseAnnouncement(Announcing(2, 4).data(), 28, server), "");
    EXPECT_NE(ParseAnnouncement(Announcing(0x7FFFFFFF, 0).data(), 24, server), "");
    EXPECT_NE(ParseAnnouncement(Announcing(-2, 0).data(), 24, server), "");
}

TEST(ReplyParsing, CutOrDamagedBatchesAreReportedNotRead) {
    PacketBatch batch;
    ASSERT_EQ(ParsePacketBatch(Framed(Batch(0, 2, {100, 5})), batch), "");
    ASSERT_EQ(batch.packets.size(), 2u);
    EXPECT_EQ(batch.packets[1].size, 5);
    EXPECT_EQ(batch.Data(batch.packets[0])[1], PatternBytes(100, 3)[1]);

    std::vector<uint8_t> cut = Framed(Batch(0, 2, {100, 5}));
    cut.resize(cut.size() - 20);
    EXPECT_NE(ParsePacketBatch(cut, batch), "");
    // More records promised than sent, a negative size, a size past the end.
    EXPECT_NE(ParsePacketBatch(Framed(Batch(0, 3, {100, 5})), batch), "");
    EXPECT_NE(ParsePacketBatch(Framed(Batch(0, 1, {-1})), batch), "");
    std::vector<uint8_t> oversized = Batch(0, 1, {4});
    oversized[19] = 0x7F;  // the size field's high byte
    EXPECT_NE(ParsePacketBatch(Framed(oversized), batch), "");
    // Garbage where the padding should be zeros.
    std::vector<uint8_t> noisy = Framed(Batch(1, 0, {}));
    noisy.back() = 9;
    EXPECT_NE(ParsePacketBatch(noisy, batch), "");
    // Another reply's code.
    std::vector<uint8_t> wrong = Framed(Batch(0, 0, {}));
    wrong[0] = 0x01;
    EXPECT_NE(ParsePacketBatch(wrong, batch), "");
    EXPECT_NE(ParsePacketBatch({0x04, 0x84}, batch), "");
}

TEST(ReplyParsing, TitleDescriptionMustHoldWhatItsLengthsPromise) {
    TitleDescription described;
    described.title = "abc";
    described.thumbWidth = described.thumbHeight = 4;
    described.thumbnail = PatternBytes(64, 1);
    const std::vector<uint8_t> whole = protocol::Encoded(described);
    TitleDescription title;
    ASSERT_EQ(ParseTitleDescription(Framed(whole), title), "");
    EXPECT_EQ(title.title, "abc");
    EXPECT_EQ(title.thumbnail.size(), 64u);

    // Cut by more than the padding could make up for.
    std::vector<uint8_t> cut = whole;
    cut.resize(cut.size() - 20);
    EXPECT_NE(ParseTitleDescription(Framed(cut), title), "");
    TitleDescription failed;
    failed.status = 2;
    ASSERT_EQ(ParseTitleDescription(Framed(protocol::Encoded(failed)), title), "");
    EXPECT_EQ(title.status, 2);
}

TEST(ReplyParsing, PackagedDataEndsWithItsEndMarkOrIsCut) {
    PackagedData sent;
    sent.records = Record(1, 2, 3, 4);
    sent.chunks = {{7, 3, 2, {5, 6}}};
    const std::vector<uint8_t> reply = protocol::Encoded(sent);
    PackagedData data;
    ASSERT_EQ(ParsePackagedData(Framed(reply), data), "");
    EXPECT_EQ(data.records, Record(1, 2, 3, 4));
    ASSERT_EQ(data.chunks.size(), 1u);
    EXPECT_EQ(data.chunks[0].bytes, (std::vector<uint8_t>{5, 6}));

    std::vector<uint8_t> noEndMark = reply;
    noEndMark.resize(noEndMark.size() - 8);
    EXPECT_NE(ParsePackagedData(Framed(noEndMark), data), "");
}

// The header block's length is not in the reply; it is found from the
// records that follow it.
TEST(ReplyParsing, OpenedPackageHeaderIsToldFromPaddingByItsRecords) {
    const std::vector<uint8_t> header = PatternBytes(37, 5);
    const std::vector<uint8_t> records = Record(0, 1, 0, 10);

    OpenedPackage opened;
    ASSERT_EQ(ParseOpenedPackage(Framed(Package(1, header, records)), records, opened), "");
    EXPECT_EQ(opened.header, header);
    EXPECT_EQ(opened.firstRecords, records);

    // No records: only the count of 0 and the padding follow the header.
    for (size_t length : {21u, 28u, 40u}) {
        std::vector<uint8_t> block = PatternBytes(length, 9);
        block.back() = 0xEE;
        ASSERT_EQ(ParseOpenedPackage(Framed(Package(0, block, {})), {}, opened), "") << length;
        EXPECT_EQ(opened.header, block) << length;
    }

    // A count the records do not follow.
    EXPECT_NE(ParseOpenedPackage(Framed(Package(2, header, records)), {}, opened), "");
}

TEST(PackagedRanges, RecordsBecomeRequestsTheServerServesWhole) {
    std::vector<uint8_t> records = Record(1, 1, 0, 100);
    const std::vector<uint8_t> huge = Record(2, 2, 100, 100 + 2 * kLargestChunk + 5);
    const std::vector<uint8_t> backwards = Record(3, 3, 50, 10);
    const std::vector<uint8_t> empty = Record(4, 4, 7, 7);
    for (const auto* more : {&huge, &backwards, &empty})
        records.insert(records.end(), more->begin(), more->end());

    size_t unusable = 0;
    const std::vector<ChunkRequest> pieces = DataPieces(records, unusable);
    EXPECT_EQ(unusable, 1u);
    ASSERT_EQ(pieces.size(), 5u);
    EXPECT_EQ(pieces[1].start, 100);
    EXPECT_EQ(pieces[1].end, 100 + kLargestChunk);
    EXPECT_EQ(pieces[3].end, 100 + 2 * kLargestChunk + 5);
    EXPECT_EQ(pieces[3].firstTag, 2);
    EXPECT_EQ(pieces[4].start, pieces[4].end);

    EXPECT_EQ(PiecesForOneRequest(pieces, 0, kLargestReplyData), 5u);
    EXPECT_EQ(PiecesForOneRequest(pieces, 0, 200), 1u);  // never fewer than one
    const std::vector<ChunkRequest> many(1000, ChunkRequest{0, 0, 0, 1});
    EXPECT_EQ(PiecesForOneRequest(many, 0, kLargestReplyData), kMaxChunksPerRequest);
    EXPECT_LE(FetchPackagedRequest(0, 0, std::span(many).first(kMaxChunksPerRequest)).size(),
              kMaxRequestBytes);
}

TEST(LatencySummary, NearestRankPercentiles) {
    std::vector<double> latencies;
    for (int i = 100; i >= 1; --i)
        latencies.push_back(i);
    const LatencySummary summary = SummarizeLatencies(latencies);
    EXPECT_EQ(summary.p50, 50);
    EXPECT_EQ(summary.p99, 99);
    EXPECT_EQ(summary.max, 100);
    EXPECT_EQ(SummarizeLatencies({7}).p99, 7);
}
