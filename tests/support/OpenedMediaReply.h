#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "support/ProtocolClient.h"

// Reply 33797 taken apart field by field.
struct StreamRecord {
    int32_t kind = -1;
    int32_t codecId = 0;
    int32_t sampleRate = 0;
    int32_t channels = 0;
    int32_t sampleFormat = 0;
    uint64_t layout = 0;
};

struct OpenedMedia {
    int32_t code = 0, status = -1, width = 0, height = 0, streamCount = 0;
    int32_t videoIndex = 0, audioIndex = 0, subtitleIndex = 0;
    int32_t audioCodec = 0, sampleRate = 0, channels = 0, sampleFormat = 0;
    uint64_t layout = 0;
    int32_t subtitleCodec = 0;
    uint32_t flags = 0;
    int32_t profile = 0, level = 0, frameRate = 0;
    int64_t duration = 0;
    int32_t spareA = -1, spareB = -1;
    std::string mime;
    std::vector<uint8_t> csd0, csd1;
    std::vector<StreamRecord> streams;
    bool consumedExactly = false;
};

inline OpenedMedia ParseOpenedMedia(const std::vector<uint8_t>& payload) {
    protocol_client::ReplyFields f(payload);
    OpenedMedia m;
    m.code = f.I32();
    m.status = f.I32();
    m.width = f.I32();
    m.height = f.I32();
    m.streamCount = f.I32();
    m.videoIndex = f.I32();
    m.audioIndex = f.I32();
    m.subtitleIndex = f.I32();
    m.audioCodec = f.I32();
    m.sampleRate = f.I32();
    m.channels = f.I32();
    m.sampleFormat = f.I32();
    m.layout = f.U64();
    m.subtitleCodec = f.I32();
    const int32_t mimeLength = f.I32();
    const int32_t csd0Length = f.I32();
    const int32_t csd1Length = f.I32();
    m.flags = f.U32();
    m.profile = f.I32();
    m.level = f.I32();
    m.frameRate = f.I32();
    m.duration = f.I64();
    m.spareA = f.I32();
    m.spareB = f.I32();
    m.mime = f.Text(static_cast<size_t>(std::max(mimeLength, 0)));
    m.csd0 = f.Bytes(static_cast<size_t>(std::max(csd0Length, 0)));
    m.csd1 = f.Bytes(static_cast<size_t>(std::max(csd1Length, 0)));
    for (int32_t i = 0; i < m.streamCount; ++i) {
        StreamRecord record;
        record.kind = f.I32();
        if (record.kind == 1) {
            record.codecId = f.I32();
            record.sampleRate = f.I32();
            record.channels = f.I32();
            record.sampleFormat = f.I32();
            record.layout = f.U64();
        } else if (record.kind == 2) {
            record.codecId = f.I32();
        }
        m.streams.push_back(record);
    }
    // Whatever is left is the frame padding.
    const uint64_t used = f.Position();
    m.consumedExactly = used <= payload.size() && payload.size() - used < 16 &&
                        std::all_of(payload.begin() + static_cast<std::ptrdiff_t>(used),
                                    payload.end(), [](uint8_t b) { return b == 0; });
    return m;
}
