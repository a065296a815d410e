#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "support/SessionPair.h"

// Pulls batches until the end of the media; the last batch is the one with status 1.
inline std::vector<headset::PacketBatch> PullToEnd(SessionPair& pair, int32_t video, int32_t audio,
                                                   int32_t subtitle) {
    std::vector<headset::PacketBatch> batches;
    for (int i = 0; i < 100000; ++i) {
        headset::PacketBatch batch =
            pair.FetchBatch({.videoIndex = video, .audioIndex = audio, .subtitleIndex = subtitle});
        const bool more = batch.status == 0;
        batches.push_back(std::move(batch));
        if (!more)
            break;
    }
    return batches;
}

// A packet with its bytes, which the parser leaves in its batch's payload.
struct PulledPacket : headset::PacketRecord {
    std::vector<uint8_t> data;
};

// The packets of all the batches in order, or only those of `stream`.
inline std::vector<PulledPacket> PacketsOf(const std::vector<headset::PacketBatch>& batches,
                                           std::optional<int32_t> stream = std::nullopt) {
    std::vector<PulledPacket> packets;
    for (const headset::PacketBatch& batch : batches) {
        for (const headset::PacketRecord& record : batch.packets) {
            if (stream && record.streamIndex != *stream)
                continue;
            const uint8_t* data = batch.Data(record);
            packets.push_back({record, {data, data + record.size}});
        }
    }
    return packets;
}
