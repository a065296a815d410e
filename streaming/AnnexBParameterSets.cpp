#include "streaming/AnnexBParameterSets.h"

#include <vector>

#include "streaming/HevcUnitTypes.h"

namespace streaming {
namespace {

constexpr uint8_t kAvcSequenceParameterSet = 7;
constexpr uint8_t kAvcPictureParameterSet = 8;

bool IsStartCodeAt(std::span<const uint8_t> stream, size_t offset) {
    return offset + 3 <= stream.size() && stream[offset] == 0 && stream[offset + 1] == 0 &&
           stream[offset + 2] == 1;
}

size_t FindStartCode(std::span<const uint8_t> stream, size_t from) {
    for (size_t offset = from; offset + 3 <= stream.size(); ++offset) {
        if (IsStartCodeAt(stream, offset))
            return offset;
    }
    return stream.size();
}

// The units between start codes. Zero bytes before a start code are trailing
// padding or the first byte of a four-byte start code, never unit data.
std::vector<std::span<const uint8_t>> SplitUnits(std::span<const uint8_t> stream) {
    std::vector<std::span<const uint8_t>> units;
    size_t startCode = FindStartCode(stream, 0);
    while (startCode < stream.size()) {
        const size_t begin = startCode + 3;
        const size_t next = FindStartCode(stream, begin);
        size_t end = next;
        while (end > begin && stream[end - 1] == 0)
            --end;
        if (end > begin)
            units.push_back(stream.subspan(begin, end - begin));
        startCode = next;
    }
    return units;
}

void SetFlags(DecoderConfigBlocks& data) {
    data.hasCsd0 = !data.csd0.empty();
    data.hasCsd1 = !data.csd1.empty();
}

}  // namespace

bool IsAnnexBStream(const uint8_t* data, int64_t size) {
    const std::span<const uint8_t> stream = ExtradataBytes(data, size);
    return IsStartCodeAt(stream, 0) ||
           (!stream.empty() && stream[0] == 0 && IsStartCodeAt(stream, 1));
}

DecoderConfigBlocks CollectAvcAnnexBParameterSets(const uint8_t* data, int64_t size) {
    DecoderConfigBlocks result;
    for (std::span<const uint8_t> unit : SplitUnits(ExtradataBytes(data, size))) {
        const uint8_t type = unit[0] & 0x1F;
        if (type == kAvcSequenceParameterSet)
            AppendWithStartCode(result.csd0, unit.data(), unit.size());
        if (type == kAvcPictureParameterSet)
            AppendWithStartCode(result.csd1, unit.data(), unit.size());
    }
    SetFlags(result);
    return result;
}

DecoderConfigBlocks CollectHevcAnnexBParameterSets(const uint8_t* data, int64_t size) {
    DecoderConfigBlocks result;
    for (std::span<const uint8_t> unit : SplitUnits(ExtradataBytes(data, size))) {
        const uint8_t type = (unit[0] >> 1) & 0x3F;
        if (IsConfigurationUnitType(type))
            AppendWithStartCode(result.csd0, unit.data(), unit.size());
    }
    SetFlags(result);
    return result;
}

}  // namespace streaming
