#include <cstdint>
#include <span>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzTargets.h"
#include "streaming/AnnexBParameterSets.h"
#include "streaming/AvcConfigurationRecord.h"
#include "streaming/HevcConfigurationRecord.h"
#include "streaming/HevcUnitTypes.h"

using streaming::DecoderConfigBlocks;

namespace {

// A unit may be empty, as in the record it came from.
bool StartsWithStartCode(const std::vector<uint8_t>& block) {
    return block.size() >= 4 && block[0] == 0 && block[1] == 0 && block[2] == 0 && block[3] == 1;
}

// A usable block is a non-empty run of units, each behind a start code.
void CheckBlock(const std::vector<uint8_t>& block, bool usable) {
    FUZZ_CHECK(!usable || StartsWithStartCode(block));
}

// The units of a block the Annex-B collectors wrote. Their units never hold
// 00 00 01 and never end in a zero byte, so the block splits back exactly.
std::vector<std::span<const uint8_t>> SplitCollected(const std::vector<uint8_t>& block) {
    std::vector<std::span<const uint8_t>> units;
    size_t begin = 0;
    for (size_t i = 0; i + 4 <= block.size(); ++i) {
        if (block[i] == 0 && block[i + 1] == 0 && block[i + 2] == 0 && block[i + 3] == 1) {
            if (i > begin)
                units.push_back(std::span(block).subspan(begin, i - begin));
            begin = i + 4;
            i += 3;
        }
    }
    if (block.size() > begin)
        units.push_back(std::span(block).subspan(begin));
    return units;
}

void CheckAvcRecord(const uint8_t* data, size_t size) {
    const DecoderConfigBlocks result = streaming::ExtractAvcParameterSets(data, size);
    CheckBlock(result.csd0, result.hasCsd0);
    CheckBlock(result.csd1, result.hasCsd1);
    // A damaged record clears both flags; a sound one flags every block it filled.
    if (result.hasCsd0 || result.hasCsd1) {
        FUZZ_CHECK(result.hasCsd0 == !result.csd0.empty());
        FUZZ_CHECK(result.hasCsd1 == !result.csd1.empty());
    }
}

void CheckHevcRecord(const uint8_t* data, size_t size) {
    const DecoderConfigBlocks result = streaming::ExtractHevcParameterSets(data, size);
    CheckBlock(result.csd0, result.hasCsd0);
    FUZZ_CHECK(result.hasCsd0 == !result.csd0.empty());
    FUZZ_CHECK(result.csd1.empty() && !result.hasCsd1);
}

void CheckAvcAnnexB(const uint8_t* data, size_t size) {
    const DecoderConfigBlocks result = streaming::CollectAvcAnnexBParameterSets(data, size);
    FUZZ_CHECK(result.hasCsd0 == !result.csd0.empty());
    FUZZ_CHECK(result.hasCsd1 == !result.csd1.empty());
    for (std::span<const uint8_t> unit : SplitCollected(result.csd0))
        FUZZ_CHECK((unit[0] & 0x1F) == 7);
    for (std::span<const uint8_t> unit : SplitCollected(result.csd1))
        FUZZ_CHECK((unit[0] & 0x1F) == 8);
}

void CheckHevcAnnexB(const uint8_t* data, size_t size) {
    const DecoderConfigBlocks result = streaming::CollectHevcAnnexBParameterSets(data, size);
    FUZZ_CHECK(result.hasCsd0 == !result.csd0.empty());
    FUZZ_CHECK(result.csd1.empty() && !result.hasCsd1);
    for (std::span<const uint8_t> unit : SplitCollected(result.csd0))
        FUZZ_CHECK(streaming::IsConfigurationUnitType((unit[0] >> 1) & 0x3F));
}

}  // namespace

// Input: a stream's extradata, given to every reader of parameter sets the
// way stream preparation would meet it.
void FuzzParameterSets(const uint8_t* data, size_t size) {
    // An exact copy, so that a read past the end is a read past an allocation.
    const std::vector<uint8_t> extradata(data, data + size);
    const uint8_t* bytes = extradata.data();
    (void)streaming::IsAnnexBStream(bytes, static_cast<int64_t>(size));
    CheckAvcRecord(bytes, size);
    CheckHevcRecord(bytes, size);
    CheckAvcAnnexB(bytes, size);
    CheckHevcAnnexB(bytes, size);
}
