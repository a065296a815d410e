#include "streaming/PackagedTitle.h"

#include <algorithm>
#include <cstring>

#include "platform/Clock.h"
#include "service/ReplyWriter.h"
#include "service/RequestCodes.h"
#include "service/TitleIndex.h"

namespace {

constexpr int32_t kOpenReplyCode = ReplyCodeFor(kOpenPackagedTitleRequest);
constexpr int32_t kFetchReplyCode = ReplyCodeFor(kFetchPackagedDataRequest);
constexpr int32_t kStatusNoReader = 1;
constexpr int32_t kStatusInvalidTitle = 2;

constexpr int64_t kBlockSize = 4194304;
constexpr uint64_t kReadAheadBytes = 4194304;
constexpr int32_t kRecordsOnOpen = 200;
constexpr int32_t kRecordsPerFetch = 10000;
constexpr int64_t kRecordBytes = 24;
constexpr int64_t kHeaderOffset = 8;

// The fuzz build scales both limits down: an input that reaches them then
// costs kilobytes instead of hundreds of megabytes, and the fuzzer tries far
// more of them. The checks themselves are the same code.
#ifdef ONDU_FUZZ_SMALL_REPLIES
constexpr int64_t kReplyLimitScale = 256;
#else
constexpr int64_t kReplyLimitScale = 1;
#endif

// Any host on the network may ask; a reply must never grow past what a
// headset could want. Longer chunks end the chunk list like invalid ones.
constexpr int64_t kMaxChunkBytes = 64 * 1048576 / kReplyLimitScale;
constexpr int64_t kMaxReplyChunkBytes = 256 * 1048576 / kReplyLimitScale;

uint64_t RecordOffset(const CatalogueEntry& entry, int64_t record) {
    return static_cast<uint64_t>(kHeaderOffset + 4 + int64_t{entry.headerSize} +
                                 kRecordBytes * record);
}

// Computed unsigned: a chunk may start anywhere up to the largest 64-bit
// offset, and the sum must not overflow on the way to being refused.
uint64_t DataOffset(const CatalogueEntry& entry, int64_t start) {
    return static_cast<uint64_t>(kHeaderOffset + int64_t{entry.dataOffset}) +
           static_cast<uint64_t>(start);
}

// Reads the file's bytes [offset, offset + count) into `target`, which the
// caller has zeroed, so that whatever the file does not hold reads as zero.
// The reader refuses a seek past its end and keeps its old position, so a
// range that starts there is not read at all: it would deliver bytes from
// wherever an earlier read left off.
void ReadFileBytes(bs100MMemRead& reader, uint64_t offset, void* target, uint64_t count) {
    if (count == 0 || offset >= reader.Size())
        return;
    reader.Seek(static_cast<int64_t>(offset), 0);
    reader.SerializeBytes(target, count);
}

void AppendFileBytes(bsMemWrite& reply, bs100MMemRead& reader, uint64_t offset, int64_t count) {
    if (count <= 0)
        return;
    uint8_t* target = reply.Extend(static_cast<uint64_t>(count));
    ReadFileBytes(reader, offset, target, static_cast<uint64_t>(count));
}

void OpenReaderPair(ClientSession& session, int32_t titleIndex) {
    session.cacheReader.reset();
    session.fileReader.reset();
    const CatalogueEntry& entry = catalogue[static_cast<size_t>(titleIndex)];
    session.fileReader = std::make_unique<bsFileRead>(entry.path, L"rb");
    session.cacheReader = std::make_unique<bs100MMemRead>(session.fileReader.get());
    session.readerTitleIndex = titleIndex;
}

// A fetch for a title whose pair is missing, or open on another title, gets a
// fresh pair for that title, with the reader's default block size and no
// read-ahead until the reply has gone.
void EnsureReaderPairFor(ClientSession& session, int32_t titleIndex) {
    if (session.cacheReader && session.readerTitleIndex == titleIndex)
        return;
    OpenReaderPair(session, titleIndex);
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

bool IsServable(const ChunkRequest& chunk, int64_t replyChunkBytes) {
    if (chunk.firstTag < 0 || chunk.secondTag < 0 || chunk.start < 0 || chunk.end < 0)
        return false;
    if (chunk.start > chunk.end)
        return false;
    const int64_t length = chunk.end - chunk.start;
    if (static_cast<int32_t>(static_cast<uint64_t>(length)) < 0)
        return false;
    return length <= kMaxChunkBytes && replyChunkBytes + length <= kMaxReplyChunkBytes;
}

void WriteRecords(bsMemWrite& reply, bs100MMemRead& reader, const CatalogueEntry& entry,
                  int32_t firstRecord) {
    // A negative first record names no record; reading from before the table
    // would hand out header bytes as records.
    int32_t count = 0;
    if (firstRecord >= 0 && firstRecord < entry.recordCount)
        count = std::min(entry.recordCount - firstRecord, kRecordsPerFetch);
    reply.Serialize(count);
    AppendFileBytes(reply, reader, RecordOffset(entry, firstRecord), kRecordBytes * count);
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

void WriteChunks(bsMemWrite& reply, bs100MMemRead& reader, const CatalogueEntry& entry,
                 const std::vector<ChunkRequest>& chunks) {
    for (ChunkRequest chunk : chunks) {
        int32_t length = static_cast<int32_t>(chunk.end - chunk.start);
        reply.Serialize(chunk.firstTag).Serialize(chunk.secondTag).Serialize(length);
        AppendFileBytes(reply, reader, DataOffset(entry, chunk.start), length);
    }
    int32_t endMark = -1;
    reply.Serialize(endMark).Serialize(endMark);
}

// Room for the whole reply up front: megabytes of chunks are then copied once.
uint64_t FetchReplySize(const CatalogueEntry& entry, int32_t firstRecord,
                        const std::vector<ChunkRequest>& chunks) {
    uint64_t size = 12 + 8 + 16;  // the last 16 for the frame padding
    if (firstRecord >= 0 && firstRecord < entry.recordCount) {
        size += kRecordBytes * std::min(entry.recordCount - firstRecord, kRecordsPerFetch);
    }
    for (const ChunkRequest& chunk : chunks)
        size += 12 + (chunk.end - chunk.start);
    return size;
}

}  // namespace

void OpenPackagedTitle(bsMemRead& request, ClientSession& session) {
    int32_t titleIndex = 0;
    request.Serialize(titleIndex);
    if (!IsValidTitleIndex(titleIndex)) {
        SendStatusReply(session, kOpenReplyCode, kStatusInvalidTitle);
        return;
    }
    CatalogueEntry& entry = catalogue[static_cast<size_t>(titleIndex)];
    entry.lastUsed = platform::TimeGetTime();

    OpenReaderPair(session, titleIndex);
    bs100MMemRead& reader = *session.cacheReader;
    reader.SetBlockSize(kBlockSize);
    reader.ReadAhead(kReadAheadBytes);
    session.titleIndex = titleIndex;

    bsMemWrite reply;
    int32_t code = kOpenReplyCode;
    int32_t status = kStatusSuccess;
    // The record count follows the header block in the file but precedes it
    // in the reply: it is written as a placeholder and filled in once read.
    int32_t recordCount = 0;
    reply.Serialize(code).Serialize(status).Serialize(recordCount);
    AppendFileBytes(reply, reader, kHeaderOffset, entry.headerSize);
    ReadFileBytes(reader, RecordOffset(entry, 0) - sizeof recordCount, &recordCount,
                  sizeof recordCount);
    std::memcpy(reply.Buffer().data() + 8, &recordCount, sizeof recordCount);
    int32_t count = std::clamp(recordCount, 0, kRecordsOnOpen);
    reply.Serialize(count);
    AppendFileBytes(reply, reader, RecordOffset(entry, 0), kRecordBytes * count);
    SendReplyTo(session, reply);
}

void FetchPackagedData(bsMemRead& request, ClientSession& session) {
    int32_t titleIndex = 0;
    int32_t firstRecord = 0;
    request.Serialize(titleIndex).Serialize(firstRecord);
    if (!IsValidTitleIndex(titleIndex)) {
        SendStatusReply(session, kFetchReplyCode, kStatusInvalidTitle);
        return;
    }
    CatalogueEntry& entry = catalogue[static_cast<size_t>(titleIndex)];
    entry.lastUsed = platform::TimeGetTime();

    EnsureReaderPairFor(session, titleIndex);
    if (!session.cacheReader) {
        SendStatusReply(session, kFetchReplyCode, kStatusNoReader);
        return;
    }
    bs100MMemRead& reader = *session.cacheReader;

    const std::vector<ChunkRequest> chunks = ReadChunkList(request);
    bsMemWrite reply;
    reply.Clear(FetchReplySize(entry, firstRecord, chunks));
    int32_t code = kFetchReplyCode;
    int32_t status = kStatusSuccess;
    reply.Serialize(code).Serialize(status);
    WriteRecords(reply, reader, entry, firstRecord);
    WriteChunks(reply, reader, entry, chunks);
    SendReplyTo(session, reply);
    reader.ReadAhead(kReadAheadBytes);
}
