#include "streaming/DecoderConfigBlocks.h"

#include <iterator>

namespace streaming {

std::span<const uint8_t> ExtradataBytes(const uint8_t* data, int64_t size) {
    if (data == nullptr || size <= 0)
        return {};
    return {data, static_cast<size_t>(size)};
}

void AppendWithStartCode(std::vector<uint8_t>& block, const uint8_t* unit, size_t size) {
    static constexpr uint8_t kStartCode[] = {0, 0, 0, 1};
    block.insert(block.end(), std::begin(kStartCode), std::end(kStartCode));
    block.insert(block.end(), unit, unit + size);
}

}  // namespace streaming
