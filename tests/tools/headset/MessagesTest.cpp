#include <gtest/gtest.h>

#include "protocol/Replies.h"
#include "protocol/Requests.h"
#include "support/Bytes.h"

using namespace protocol;

namespace {

struct RoundTrip {
    const char* name;
    size_t size;  // of the stored message
    std::vector<uint8_t> stored;
    std::vector<uint8_t> reloaded;  // stored again after loading
};

// `blank` is what the reader starts from: a packaged opening must be told
// how long its header block is.
template <class Message>
RoundTrip Case(const char* name, size_t size, const Message& message, Message blank = {}) {
    const std::vector<uint8_t> stored = Encoded(message);
    MessageReader reader(stored);
    blank.Serialize(reader);
    EXPECT_TRUE(reader.Complete() && reader.IsEnd()) << name;
    return {name, size, stored, Encoded(blank)};
}

TitleDescription Description() {
    TitleDescription reply;
    reply.title = "abc";
    reply.thumbWidth = reply.thumbHeight = 2;
    reply.thumbnail = PatternBytes(16, 1);
    return reply;
}

OpenedPackage Opened(size_t headerBytes) {
    OpenedPackage reply;
    reply.recordCount = 2;
    reply.header.resize(headerBytes);
    reply.firstRecords = PatternBytes(2 * kIndexRecordBytes, 5);
    return reply;
}

PackagedData Packaged() {
    PackagedData reply;
    reply.records = PatternBytes(kIndexRecordBytes, 2);
    reply.chunks = {{7, 3, 2, {5, 6}}, {7, 4, 0, {}}};
    return reply;
}

OpenedMedia Media() {
    OpenedMedia reply;
    reply.streamCount = 3;
    reply.videoIndex = 0;
    reply.audioIndex = 1;
    reply.mimeType = "video/hevc";
    reply.csd0 = {0, 0, 0, 1};
    reply.duration = 2000000;
    reply.streams = {{}, {kStreamKindAudio, 86057, 48000, 2, 8, 3}, {kStreamKindSubtitle, 94213}};
    return reply;
}

PacketBatchHead Batch(int32_t count) {
    PacketBatchHead head;
    head.count = count;
    return head;
}

template <class Reply>
Reply Failed(int32_t status) {
    Reply reply;
    reply.status = status;
    return reply;
}

}  // namespace

TEST(Messages, EachLoadsBackWhatItStores) {
    const RoundTrip cases[] = {
        Case("25601", 8, DescribeTitleRequest{.titleIndex = 3}),
        Case("25602", 8, OpenPackagedTitleRequest{.titleIndex = 1}),
        Case("25603", 12 + 2 * kChunkRequestBytes,
             FetchPackagedDataRequest{
                 .titleIndex = 1, .firstRecord = 7, .chunks = {{7, 3, 0, 100}, {7, 4, 100, 100}}}),
        Case("25604", 28, FetchPacketBatchRequest{.seekWanted = 1, .seekMicroseconds = 60000000}),
        Case("25605", 8, OpenMediaTitleRequest{.titleIndex = 2}),
        Case("33793", 24 + 3 + 16, Description()),
        Case("33793 failed", 8, Failed<TitleDescription>(kDescribeStatusInvalidTitle)),
        Case("33794", 16 + 37 + 48, Opened(37), Opened(37)),
        Case("33795", 12 + 24 + 14 + 12 + 8, Packaged()),
        Case("33796", 12, Batch(2)),
        Case("packet record", 36, PacketRecord{1, 100, 1, -5, -7, 40000}),
        Case("33797", 104 + 10 + 4 + 4 + 28 + 8, Media()),
        Case("33797 failed", 8, Failed<OpenedMedia>(kOpenMediaStatusStreamInfoFailed)),
    };
    for (const RoundTrip& c : cases) {
        EXPECT_EQ(c.stored.size(), c.size) << c.name;
        EXPECT_EQ(c.reloaded, c.stored) << c.name;
    }
}

// What the server reads from a request cut after `keep` bytes.
template <class Request>
Request LoadedFromFirst(size_t keep, const Request& whole) {
    const std::vector<uint8_t> bytes = Encoded(whole);
    bsMemRead cut(bytes.data(), keep);
    Request loaded;
    loaded.Serialize(cut);
    return loaded;
}

TEST(Messages, ShortRequestsKeepTheirPresets) {
    const size_t code = sizeof(int32_t);
    EXPECT_EQ(LoadedFromFirst(code, DescribeTitleRequest{.titleIndex = 9}).titleIndex, -1);
    EXPECT_EQ(LoadedFromFirst(code, OpenPackagedTitleRequest{.titleIndex = 9}).titleIndex, 0);
    EXPECT_EQ(LoadedFromFirst(code, OpenMediaTitleRequest{.titleIndex = 9}).titleIndex, 0);
    const FetchPacketBatchRequest batch = LoadedFromFirst(
        code, FetchPacketBatchRequest{
                  .seekWanted = 1, .seekMicroseconds = 5, .videoIndex = 0, .audioIndex = 1});
    EXPECT_EQ(batch.seekWanted, 0);
    EXPECT_EQ(batch.videoIndex, -1);
    EXPECT_EQ(batch.audioIndex, -1);
    // A chunk cut anywhere names no range, and so ends the list there.
    const FetchPackagedDataRequest whole{.chunks = {{1, 2, 0, 10}, {1, 2, 10, 20}}};
    for (size_t cut = 1; cut < kChunkRequestBytes; cut += 3) {
        const FetchPackagedDataRequest loaded = LoadedFromFirst(Encoded(whole).size() - cut, whole);
        ASSERT_EQ(loaded.chunks.size(), 2u) << cut;
        EXPECT_TRUE(loaded.chunks[0].NamesRange()) << cut;
        EXPECT_FALSE(loaded.chunks[1].NamesRange()) << cut;
    }
}
