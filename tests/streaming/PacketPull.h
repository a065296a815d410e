#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/OpenedMediaReply.h"
#include "support/SessionPair.h"

// One packet record of reply 33796.
struct PacketRecord {
    int32_t stream = -1;
    int32_t flags = 0;
    int64_t pts = 0;
    int64_t dts = 0;
    int64_t duration = 0;
    std::vector<uint8_t> data;
};

struct PacketBatch {
    int32_t code = 0;
    int32_t status = -1;
    std::vector<PacketRecord> records;
};

inline PacketBatch ParsePacketBatch(const std::vector<uint8_t>& payload) {
    protocol_client::ReplyFields f(payload);
    PacketBatch batch;
    batch.code = f.I32();
    batch.status = f.I32();
    const int32_t count = f.I32();
    for (int32_t i = 0; i < count; ++i) {
        PacketRecord record;
        record.stream = f.I32();
        const int32_t size = f.I32();
        record.flags = f.I32();
        record.pts = f.I64();
        record.dts = f.I64();
        record.duration = f.I64();
        record.data = f.Bytes(static_cast<size_t>(std::max(size, 0)));
        batch.records.push_back(std::move(record));
    }
    return batch;
}

inline std::vector<uint8_t> BatchRequest(int32_t seekWanted, uint64_t seekPosition, int32_t video,
                                         int32_t audio, int32_t subtitle) {
    bsMemWrite writer;
    int32_t code = 25604;
    writer.Serialize(code).Serialize(seekWanted).Serialize(seekPosition);
    writer.Serialize(video).Serialize(audio).Serialize(subtitle);
    return writer.Buffer();
}

inline std::optional<PacketBatch> FetchBatch(SessionPair& pair, int32_t seekWanted,
                                             uint64_t seekPosition, int32_t video, int32_t audio,
                                             int32_t subtitle) {
    auto reply = pair.Exchange(BatchRequest(seekWanted, seekPosition, video, audio, subtitle));
    if (!reply)
        return std::nullopt;
    return ParsePacketBatch(*reply);
}

// Pulls batches until the end of the media; the last batch is the one with status 1.
inline std::vector<PacketBatch> PullToEnd(SessionPair& pair, int32_t video, int32_t audio,
                                          int32_t subtitle) {
    std::vector<PacketBatch> batches;
    for (int i = 0; i < 100000; ++i) {
        auto batch = FetchBatch(pair, 0, 0, video, audio, subtitle);
        if (!batch)
            break;
        batches.push_back(std::move(*batch));
        if (batches.back().status != 0)
            break;
    }
    return batches;
}

inline OpenedMedia OpenMedia(SessionPair& pair, int32_t title = 0) {
    auto reply = pair.Exchange(protocol_client::Request({25605, title}));
    return reply ? ParseOpenedMedia(*reply) : OpenedMedia{};
}
