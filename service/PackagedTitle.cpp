#include "service/PackagedTitle.h"

#include <algorithm>

#include "catalogue/PackagedMovie.h"
#include "catalogue/TitleReplySizes.h"
#include "platform/Clock.h"
#include "protocol/ProtocolLimits.h"
#include "protocol/Replies.h"
#include "protocol/Requests.h"
#include "service/OperatorEvents.h"
#include "service/SessionReply.h"
#include "streaming/PackagedReads.h"

using protocol::ChunkRequest;
using streaming::FileBytes;
using streaming::ReadFileBytes;

namespace {

constexpr uint64_t kReadAheadBytes = 4194304;

// The fuzz build scales both limits down: an input that reaches them then
// costs kilobytes instead of hundreds of megabytes, and the fuzzer tries far
// more of them. The checks themselves are the same code.
#ifdef ONDU_FUZZ_SMALL_REPLIES
constexpr int64_t kReplyLimitScale = 256;
#else
constexpr int64_t kReplyLimitScale = 1;
#endif
constexpr int64_t kChunkLimit = kMaxChunkBytes / kReplyLimitScale;
constexpr int64_t kReplyChunkLimit = kMaxReplyChunkBytes / kReplyLimitScale;

uint64_t RecordOffset(const CatalogueEntry& entry, int64_t record) {
    return static_cast<uint64_t>(PACKAGED_HEADER_OFFSET + 4 + int64_t{entry.headerSize} +
                                 PACKAGED_RECORD_SIZE * record);
}

// Computed unsigned: a chunk may start anywhere up to the largest 64-bit
// offset, and the sum must not overflow on the way to being refused.
uint64_t DataOffset(const CatalogueEntry& entry, int64_t start) {
    return static_cast<uint64_t>(PACKAGED_HEADER_OFFSET + int64_t{entry.dataOffset}) +
           static_cast<uint64_t>(start);
}

// The title's file and cache, shared with the other sessions on it. A title
// already open on the session goes first.
bs100MMemRead& OpenReaderPair(ClientSession& session, const CatalogueEntry& entry,
                              int32_t titleIndex) {
    session.packaged.reset();
    std::shared_ptr<BlockCache> cache = session.packagedFiles != nullptr
                                            ? session.packagedFiles->Open(entry.path)
                                            : PackagedFiles::OpenUnshared(entry.path);
    return session.packaged.emplace(std::move(cache), titleIndex).cacheReader;
}

// A fetch for a title whose pair is missing, or open on another title, gets a
// fresh pair for that title, with the reader's default block size and no
// read-ahead until the reply has gone.
bs100MMemRead& EnsureReaderPairFor(ClientSession& session, const CatalogueEntry& entry,
                                   int32_t titleIndex) {
    if (session.packaged && session.packaged->titleIndex == titleIndex)
        return session.packaged->cacheReader;
    return OpenReaderPair(session, entry, titleIndex);
}

// Chunks longer than a reply may carry end the chunk list like invalid ones.
bool IsServable(const ChunkRequest& chunk, int64_t replyChunkBytes) {
    if (!chunk.NamesRange())
        return false;
    const int64_t length = chunk.end - chunk.start;
    return length <= kChunkLimit && replyChunkBytes + length <= kReplyChunkLimit;
}

// A negative first record names no record; reading from before the table
// would hand out header bytes as records.
int32_t RecordsToSend(const CatalogueEntry& entry, int32_t firstRecord) {
    if (firstRecord < 0 || firstRecord >= entry.recordCount)
        return 0;
    return std::min(entry.recordCount - firstRecord, kRecordsPerFetch);
}

}  // namespace

void OpenPackagedTitle(bsMemRead& request, ClientSession& session, const Catalogue& catalogue) {
    protocol::OpenPackagedTitleRequest wanted;
    wanted.Serialize(request);
    const int32_t titleIndex = wanted.titleIndex;
    if (!protocol::IsValidTitleIndex(titleIndex, catalogue.size())) {
        QueueStatusReply<protocol::OpenedPackage>(session, kPackagedStatusInvalidTitle);
        return;
    }
    const CatalogueEntry& entry = catalogue[static_cast<size_t>(titleIndex)];
    MarkUsed(entry, platform::TimeGetTime());

    // Every title's cache is made with the 4 MiB blocks the reads assume.
    bs100MMemRead& reader = OpenReaderPair(session, entry, titleIndex);
    reader.ReadAhead(kReadAheadBytes);
    session.titleIndex = titleIndex;

    protocol::OpenedPackage reply;
    reply.header = FileBytes(reader, PACKAGED_HEADER_OFFSET, entry.headerSize, session.stopFlag);
    // The record count follows the header block in the file.
    ReadFileBytes(reader, RecordOffset(entry, 0) - sizeof reply.recordCount, &reply.recordCount,
                  sizeof reply.recordCount);
    reply.firstRecords =
        FileBytes(reader, RecordOffset(entry, 0),
                  PACKAGED_RECORD_SIZE * std::clamp(reply.recordCount, 0, kRecordsOnOpen));
    if (reader.TakeReadFailure()) {
        QueueStatusReply<protocol::OpenedPackage>(session, kPackagedStatusCannotRead);
        return;
    }
    QueueReply(session, reply);
    LogOpenedPackaged(session, titleIndex, entry);
}

void FetchPackagedData(bsMemRead& request, ClientSession& session, const Catalogue& catalogue) {
    protocol::FetchPackagedDataRequest wanted;
    wanted.Serialize(request);
    if (!protocol::IsValidTitleIndex(wanted.titleIndex, catalogue.size())) {
        QueueStatusReply<protocol::PackagedData>(session, kPackagedStatusInvalidTitle);
        return;
    }
    const CatalogueEntry& entry = catalogue[static_cast<size_t>(wanted.titleIndex)];
    MarkUsed(entry, platform::TimeGetTime());

    bs100MMemRead& reader = EnsureReaderPairFor(session, entry, wanted.titleIndex);

    protocol::PackagedData reply;
    reply.records = FileBytes(reader, RecordOffset(entry, wanted.firstRecord),
                              PACKAGED_RECORD_SIZE * RecordsToSend(entry, wanted.firstRecord));
    if (reader.TakeReadFailure()) {
        QueueStatusReply<protocol::PackagedData>(session, kPackagedStatusCannotRead);
        return;
    }
    // The servable chunks, up to the first that is not. Each one's bytes are
    // a range of the file, read as the reply is sent.
    std::vector<uint64_t> dataOffsets;
    int64_t replyChunkBytes = 0;
    for (const ChunkRequest& chunk : wanted.chunks) {
        if (!IsServable(chunk, replyChunkBytes))
            break;
        const int64_t length = chunk.end - chunk.start;
        replyChunkBytes += length;
        reply.chunks.push_back({chunk.firstTag, chunk.secondTag, static_cast<int32_t>(length), {}});
        dataOffsets.push_back(DataOffset(entry, chunk.start));
    }
    bsMemWrite bytes;
    ReplyParts parts;
    reply.Serialize(bytes, [&](iStoreArc& arc, const protocol::Chunk& chunk) {
        parts.fileRanges.push_back({arc.Tell(), dataOffsets[parts.fileRanges.size()],
                                    static_cast<uint64_t>(chunk.length)});
    });
    parts.bytes = std::move(bytes.Buffer());
    protocol::PackagedData unreadable;
    unreadable.status = kPackagedStatusCannotRead;
    parts.ifUnreadable = protocol::Encoded(unreadable);
    // The reply reads ahead of itself as it goes, and past its last chunk
    // when it ends.
    QueueReply(session, std::move(parts), reader.SharedCache());
    LogPackagedFetch(session, session.reply->PayloadBytes());
}

size_t LargestPackagedOpening(const Catalogue& catalogue) {
    size_t largest = PackagedOpeningReplyBytes(CatalogueEntry{});
    for (const CatalogueEntry& entry : catalogue)
        largest = std::max(largest, PackagedOpeningReplyBytes(entry));
    return largest;
}

// A fetch's file bytes are read as they are sent and count for nothing here.
size_t LargestPackagedFetch(const Catalogue&) {
    return kReplyFraming + PACKAGED_RECORD_SIZE * kRecordsPerFetch +
           3 * sizeof(int32_t) * protocol::kMaxChunksPerRequest;
}
