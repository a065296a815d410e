#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace streaming {

// The two set-up blocks (csd-0 and csd-1) the headset decoder is configured
// with, in Annex-B form (every unit preceded by 00 00 00 01). A flag tells
// whether its block is usable; a block may hold bytes while its flag is false
// when the source record was damaged part way through.
struct DecoderConfigBlocks {
    std::vector<uint8_t> csd0;
    std::vector<uint8_t> csd1;
    bool hasCsd0 = false;
    bool hasCsd1 = false;
};

// The bytes of a stream's extradata; empty when there is none (a null
// pointer or a size of 0 or less).
std::span<const uint8_t> ExtradataBytes(const uint8_t* data, int64_t size);

// Appends 00 00 00 01 and the unit's bytes.
void AppendWithStartCode(std::vector<uint8_t>& block, const uint8_t* unit, size_t size);

}  // namespace streaming
