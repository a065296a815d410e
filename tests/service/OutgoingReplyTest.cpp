#include "service/OutgoingReply.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "protocol/ReplyFrame.h"
#include "support/Bytes.h"
#include "support/TempDir.h"

namespace {

// Stands in for the socket: records what each send was offered and takes at
// most `cap` bytes; with `refuseEveryOther`, every second call finds no room;
// from call `failFrom` on, the connection is broken.
struct SocketModel {
    size_t cap = SIZE_MAX;
    bool refuseEveryOther = false;
    int failFrom = -1;

    int calls = 0;
    int flags = 0;
    std::vector<uint8_t> received{};
    std::vector<size_t> offers{};
};

thread_local SocketModel* model = nullptr;

ssize_t ModelSend(int, const msghdr* message, int flags) {
    SocketModel& socket = *model;
    const int call = socket.calls++;
    socket.flags |= flags;
    if (socket.failFrom >= 0 && call >= socket.failFrom) {
        errno = ECONNRESET;
        return -1;
    }
    if (socket.refuseEveryOther && call % 2 == 1) {
        errno = EAGAIN;
        return -1;
    }
    size_t offered = 0;
    size_t taken = 0;
    for (size_t i = 0; i < message->msg_iovlen; ++i) {
        const iovec& run = message->msg_iov[i];
        offered += run.iov_len;
        const size_t take = std::min(run.iov_len, socket.cap - taken);
        const auto* bytes = static_cast<const uint8_t*>(run.iov_base);
        socket.received.insert(socket.received.end(), bytes, bytes + take);
        taken += take;
    }
    socket.offers.push_back(offered);
    return static_cast<ssize_t>(taken);
}

std::vector<uint8_t> Payload(size_t size) {
    std::vector<uint8_t> payload(size);
    for (size_t i = 0; i < size; ++i)
        payload[i] = static_cast<uint8_t>(i % 251 + 1);
    return payload;
}

struct SendRun {
    int piecesSent = 0;
    int sendPieceCalls = 0;
    bool failed = false;
};

SendRun SendToEnd(OutgoingReply& reply, SocketModel& socket) {
    model = &socket;
    SendRun run;
    while (!reply.Finished() && run.sendPieceCalls < 100000) {
        const int callsBefore = socket.calls;
        const OutgoingReply::Outcome outcome = reply.SendPiece(-1, ModelSend);
        ++run.sendPieceCalls;
        if (outcome == OutgoingReply::Outcome::NeedsData)
            reply.BringInData();
        // The length is never paced; of the payload, one piece at most.
        EXPECT_LE(socket.calls - callsBefore, 5);
        if (outcome == OutgoingReply::Outcome::PieceSent)
            ++run.piecesSent;
        if (outcome == OutgoingReply::Outcome::Failed) {
            run.failed = true;
            break;
        }
    }
    model = nullptr;
    return run;
}

}  // namespace

TEST(OutgoingReply, FramesAndSendsEveryByteInPiecesWhateverTheSocketTakes) {
    struct Case {
        size_t payload;
        size_t paddedTo;
        SocketModel socket;
        int piecesAtLeast;
    };
    const Case cases[] = {
        {8, 12, {}, 1},
        {12, 12, {}, 1},
        {1000000, 1000012, {}, 3},
        // A socket buffer that takes only a few bytes splits the length too.
        {40, 44, {.cap = 3}, 14},
        {1000000, 1000012, {.cap = 65536, .refuseEveryOther = true}, 16},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << test.payload << " bytes, cap " << test.socket.cap);
        const std::vector<uint8_t> payload = Payload(test.payload);
        OutgoingReply reply{std::vector<uint8_t>(payload)};
        SocketModel socket = test.socket;
        const SendRun run = SendToEnd(reply, socket);

        ASSERT_TRUE(reply.Finished());
        EXPECT_FALSE(run.failed);
        EXPECT_GE(run.piecesSent, test.piecesAtLeast);
        EXPECT_EQ(reply.BytesSent(), test.paddedTo + 4);
        ASSERT_EQ(socket.received.size(), test.paddedTo + 4);
        uint32_t length = 0;
        std::memcpy(&length, socket.received.data(), 4);
        EXPECT_EQ(length, test.paddedTo);
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), socket.received.begin() + 4));
        EXPECT_TRUE(std::all_of(socket.received.begin() + 4 + static_cast<long>(test.payload),
                                socket.received.end(), [](uint8_t byte) { return byte == 0; }));
        for (size_t offer : socket.offers)
            EXPECT_LE(offer, OutgoingReply::kMaxPiece);
        EXPECT_EQ(socket.flags, MSG_NOSIGNAL | MSG_DONTWAIT);
    }
}

TEST(OutgoingReply, ABrokenConnectionFailsTheReplyWhereItBroke) {
    OutgoingReply reply(Payload(1000000));
    SocketModel socket{.failFrom = 2};
    const SendRun run = SendToEnd(reply, socket);
    EXPECT_TRUE(run.failed);
    EXPECT_FALSE(reply.Finished());
    EXPECT_EQ(run.piecesSent, 1);
    EXPECT_EQ(reply.BytesSent(), 4 + OutgoingReply::kMaxPiece);
}

// File ranges go out from the file's cache as they are sent, whatever the
// socket takes: a range within the file, one across its end and one past it,
// between the reply's own bytes. The file is read only as the pieces need it.
TEST(OutgoingReply, FileRangesGoOutFromTheCacheWithZerosPastTheEnd) {
    constexpr uint64_t kMiB = 1048576;
    TempDir dir;
    const std::vector<uint8_t> content = PatternBytes(9 * kMiB + 5, 11);
    WriteFileBytes(dir.File("data"), content);
    for (const SocketModel& model : {SocketModel{}, SocketModel{.cap = 65536}}) {
        bsFileRead file(dir.File("data").wstring(), L"rb");
        auto cache = std::make_shared<BlockCache>(&file);
        ReplyParts parts;
        parts.bytes = {1, 2, 3, 4, 5, 6};
        parts.fileRanges = {{2, 100, 5 * kMiB}, {4, 9 * kMiB, 10}, {6, 10 * kMiB, 7}};
        std::vector<uint8_t> expected = {1, 2};
        expected.insert(expected.end(), content.begin() + 100, content.begin() + 100 + 5 * kMiB);
        expected.insert(expected.end(), {3, 4});
        expected.insert(expected.end(), content.begin() + 9 * kMiB, content.end());
        expected.resize(expected.size() + 5, 0);  // the range runs past the end
        expected.insert(expected.end(), {5, 6});
        expected.resize(expected.size() + 7, 0);  // the range lies past the end
        OutgoingReply reply(std::move(parts), cache);
        EXPECT_EQ(reply.PayloadBytes(), expected.size() + ReplyPaddingFor(expected.size()));
        EXPECT_EQ(cache->LoadedBlockCount(), 0u);

        SocketModel socket = model;
        SendToEnd(reply, socket);
        ASSERT_TRUE(reply.Finished());
        ASSERT_EQ(socket.received.size(), 4 + reply.PayloadBytes());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), socket.received.begin() + 4));
        for (size_t offer : socket.offers)
            EXPECT_LE(offer, OutgoingReply::kMaxPiece);
    }
}

// A file cut while its reply is under way: the reply keeps its length, what
// the cache held before the cut goes out as it was, and what it reads after
// the cut reads as zeros where the file no longer has bytes.
TEST(OutgoingReply, AFileCutUnderwayGivesWhatWasReadThenZeros) {
    constexpr uint64_t kMiB = 1048576;
    TempDir dir;
    const std::vector<uint8_t> content = PatternBytes(12 * kMiB, 13);
    WriteFileBytes(dir.File("data"), content);
    bsFileRead file(dir.File("data").wstring(), L"rb");
    auto cache = std::make_shared<BlockCache>(&file);
    ReplyParts parts;
    parts.fileRanges = {{0, 0, 12 * kMiB}};
    OutgoingReply reply(std::move(parts), cache);

    SocketModel socket;
    model = &socket;
    while (reply.SendPiece(-1, ModelSend) != OutgoingReply::Outcome::PieceSent)
        reply.BringInData();  // the first piece loads block 0, and reads ahead into block 1
    model = nullptr;
    ASSERT_EQ(truncate(dir.File("data").c_str(), kMiB), 0);
    SendToEnd(reply, socket);

    ASSERT_TRUE(reply.Finished());
    ASSERT_EQ(socket.received.size(), 4 + reply.PayloadBytes());
    const uint8_t* sent = socket.received.data() + 4;
    EXPECT_TRUE(std::equal(content.begin(), content.begin() + 4 * kMiB, sent));
    for (uint64_t i = 4 * kMiB; i < 8 * kMiB; ++i)
        ASSERT_TRUE(sent[i] == content[i] || sent[i] == 0) << i;  // read before or after the cut
    EXPECT_TRUE(std::all_of(sent + 8 * kMiB, sent + 12 * kMiB, [](uint8_t b) { return b == 0; }));
}
