#include "tools/headset/PackagedRanges.h"

#include <algorithm>

#include "tools/headset/HeadsetReplies.h"

namespace headset {

std::vector<ChunkRequest> DataPieces(const std::vector<uint8_t>& records, size_t& unusable) {
    // An index record has the layout of a chunk request.
    bsMemRead reader(records.data(), records.size() - records.size() % protocol::kIndexRecordBytes);
    std::vector<ChunkRequest> ranges, pieces;
    protocol::SerializeToEnd(reader, ranges);
    for (const ChunkRequest& range : ranges) {
        if (!ChunkRequestIsServed(range)) {
            ++unusable;
            continue;
        }
        ChunkRequest piece = range;
        do {
            piece.end = std::min(range.end, piece.start + kLargestChunk);
            pieces.push_back(piece);
            piece.start = piece.end;
        } while (piece.start < range.end);
    }
    return pieces;
}

size_t PiecesForOneRequest(std::span<const ChunkRequest> pieces, size_t first, int64_t maxBytes) {
    size_t count = 0;
    int64_t bytes = 0;
    while (first + count < pieces.size() && count < kMaxChunksPerRequest) {
        const ChunkRequest& piece = pieces[first + count];
        const int64_t length = piece.end - piece.start;
        if (count > 0 && bytes + length > maxBytes)
            break;
        bytes += length;
        ++count;
    }
    return count;
}

}  // namespace headset
