#include "service/PackagedTitle.h"

#include <algorithm>
#include <cstring>

#include "catalogue/PackagedMovie.h"
#include "platform/Clock.h"
#include "protocol/ProtocolLimits.h"
#include "protocol/ReplyFrame.h"
#include "protocol/ReplyWriter.h"
#include "protocol/RequestCodes.h"
#include "protocol/TitleIndex.h"
#include "service/OperatorEvents.h"
#include "service/SessionReply.h"
#include "streaming/PackagedReads.h"

using streaming::AppendFileBytes;
using streaming::ReadFileBytes;

namespace {

constexpr int32_t kOpenReplyCode = ReplyCodeFor(kOpenPackagedTitleRequest);
constexpr int32_t kFetchReplyCode = ReplyCodeFor(kFetchPackagedDataRequest);

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
                                            ? session.packagedFiles->Open(titleIndex, entry.path)
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

struct ChunkRequest {
    int32_t firstTag = -1;
    int32_t secondTag = -1;
    int64_t start = -1;
    int64_t end = -1;
};

ChunkRequest ReadChunkRequest(bsMemRead& request) {
    ChunkRequest chunk;
    request.Serialize(chunk.firstTag).Serialize(chunk.secondTag);
    request.Serialize(chunk.start).Serialize(chunk.end);
    return chunk;
}

// Chunks longer than a reply may carry end the chunk list like invalid ones.
bool IsServable(const ChunkRequest& chunk, int64_t replyChunkBytes) {
    if (chunk.firstTag < 0 || chunk.secondTag < 0 || chunk.start < 0 || chunk.end < 0)
        return false;
    if (chunk.start > chunk.end)
        return false;
    const int64_t length = chunk.end - chunk.start;
    if (static_cast<int32_t>(static_cast<uint64_t>(length)) < 0)
        return false;
    return length <= kChunkLimit && replyChunkBytes + length <= kReplyChunkLimit;
}

// A negative first record names no record; reading from before the table
// would hand out header bytes as records.
int32_t RecordsToSend(const CatalogueEntry& entry, int32_t firstRecord) {
    if (firstRecord < 0 || firstRecord >= entry.recordCount)
        return 0;
    return std::min(entry.recordCount - firstRecord, kRecordsPerFetch);
}

void WriteRecords(bsMemWrite& reply, bs100MMemRead& reader, const CatalogueEntry& entry,
                  int32_t firstRecord) {
    int32_t count = RecordsToSend(entry, firstRecord);
    reply.Serialize(count);
    AppendFileBytes(reply, reader, RecordOffset(entry, firstRecord), PACKAGED_RECORD_SIZE * count);
}

// The servable chunk requests, up to the first that is not.
std::vector<ChunkRequest> ReadChunkList(bsMemRead& request) {
    std::vector<ChunkRequest> chunks;
    int64_t replyChunkBytes = 0;
    for (ChunkRequest chunk = ReadChunkRequest(request); IsServable(chunk, replyChunkBytes);
         chunk = ReadChunkRequest(request)) {
        replyChunkBytes += chunk.end - chunk.start;
        chunks.push_back(chunk);
    }
    return chunks;
}

// Each chunk's bytes are a range of the file, read as the reply is sent.
void WriteChunks(bsMemWrite& reply, ReplyParts& parts, const CatalogueEntry& entry,
                 const std::vector<ChunkRequest>& chunks) {
    for (ChunkRequest chunk : chunks) {
        int32_t length = static_cast<int32_t>(chunk.end - chunk.start);
        reply.Serialize(chunk.firstTag).Serialize(chunk.secondTag).Serialize(length);
        parts.fileRanges.push_back(
            {reply.Buffer().size(), DataOffset(entry, chunk.start), static_cast<uint64_t>(length)});
    }
    int32_t endMark = -1;
    reply.Serialize(endMark).Serialize(endMark);
}

// Room for the reply's own bytes up front.
uint64_t FetchReplyOwnBytes(const CatalogueEntry& entry, int32_t firstRecord,
                            const std::vector<ChunkRequest>& chunks) {
    return 12 + 8 + kReplyFrameUnit + PACKAGED_RECORD_SIZE * RecordsToSend(entry, firstRecord) +
           12 * chunks.size();
}

}  // namespace

void OpenPackagedTitle(bsMemRead& request, ClientSession& session, const Catalogue& catalogue) {
    int32_t titleIndex = 0;
    request.Serialize(titleIndex);
    if (!IsValidTitleIndex(titleIndex, catalogue.size())) {
        QueueStatusReply(session, kOpenReplyCode, kPackagedStatusInvalidTitle);
        return;
    }
    const CatalogueEntry& entry = catalogue[static_cast<size_t>(titleIndex)];
    MarkUsed(entry, platform::TimeGetTime());

    // Every title's cache is made with the 4 MiB blocks the reads assume.
    bs100MMemRead& reader = OpenReaderPair(session, entry, titleIndex);
    reader.ReadAhead(kReadAheadBytes);
    session.titleIndex = titleIndex;

    bsMemWrite reply;
    WriteReplyHead(reply, kOpenReplyCode, kStatusSuccess);
    // The record count follows the header block in the file but precedes it
    // in the reply: it is written as a placeholder and filled in once read.
    int32_t recordCount = 0;
    reply.Serialize(recordCount);
    AppendFileBytes(reply, reader, PACKAGED_HEADER_OFFSET, entry.headerSize, session.stopFlag);
    ReadFileBytes(reader, RecordOffset(entry, 0) - sizeof recordCount, &recordCount,
                  sizeof recordCount);
    std::memcpy(reply.Buffer().data() + 8, &recordCount, sizeof recordCount);
    int32_t count = std::clamp(recordCount, 0, kRecordsOnOpen);
    reply.Serialize(count);
    AppendFileBytes(reply, reader, RecordOffset(entry, 0), PACKAGED_RECORD_SIZE * count);
    QueueReply(session, reply);
    LogOpenedPackaged(session, titleIndex, entry);
}

void FetchPackagedData(bsMemRead& request, ClientSession& session, const Catalogue& catalogue) {
    int32_t titleIndex = 0;
    int32_t firstRecord = 0;
    request.Serialize(titleIndex).Serialize(firstRecord);
    if (!IsValidTitleIndex(titleIndex, catalogue.size())) {
        QueueStatusReply(session, kFetchReplyCode, kPackagedStatusInvalidTitle);
        return;
    }
    const CatalogueEntry& entry = catalogue[static_cast<size_t>(titleIndex)];
    MarkUsed(entry, platform::TimeGetTime());

    bs100MMemRead& reader = EnsureReaderPairFor(session, entry, titleIndex);

    const std::vector<ChunkRequest> chunks = ReadChunkList(request);
    bsMemWrite reply;
    reply.Clear(FetchReplyOwnBytes(entry, firstRecord, chunks));
    WriteReplyHead(reply, kFetchReplyCode, kStatusSuccess);
    WriteRecords(reply, reader, entry, firstRecord);
    ReplyParts parts;
    WriteChunks(reply, parts, entry, chunks);
    parts.bytes = std::move(reply.Buffer());
    // The reply reads ahead of itself as it goes, and past its last chunk
    // when it ends.
    QueueReply(session, std::move(parts), reader.SharedCache());
    LogPackagedFetch(session, session.reply->PayloadBytes());
}
