#include "streaming/HevcConfigurationRecord.h"

#include <limits>
#include <utility>

#include "streaming/HevcUnitTypes.h"

namespace streaming {
namespace {

constexpr size_t kArrayCountOffset = 22;
constexpr uint8_t kUnitTypeMask = 0x3F;

class HevcRecordReader {
public:
    explicit HevcRecordReader(std::span<const uint8_t> record) : record_(record) {}

    // Appends every unit of the record to `block`; false when the record is
    // not one that can be converted.
    bool CopyArrays(std::vector<uint8_t>& block) {
        if (!Fits(kArrayCountOffset, 1))
            return false;
        const unsigned arrayCount = record_[kArrayCountOffset];
        cursor_ = kArrayCountOffset + 1;
        for (unsigned i = 0; i < arrayCount; ++i) {
            if (!CopyArray(block))
                return false;
        }
        return true;
    }

private:
    bool CopyArray(std::vector<uint8_t>& block) {
        if (!Fits(cursor_, 3))
            return false;
        if (!IsConfigurationUnitType(record_[cursor_] & kUnitTypeMask))
            return false;
        const size_t unitCount = ReadU16(cursor_ + 1);
        cursor_ += 3;
        for (size_t i = 0; i < unitCount; ++i) {
            if (!CopyUnit(block))
                return false;
        }
        return true;
    }

    bool CopyUnit(std::vector<uint8_t>& block) {
        if (!Fits(cursor_, 2))
            return false;
        const size_t length = ReadU16(cursor_);
        cursor_ += 2;
        if (!Fits(cursor_, length))
            return false;
        if (block.size() > std::numeric_limits<size_t>::max() - 4 - length)
            return false;
        AppendWithStartCode(block, record_.data() + cursor_, length);
        cursor_ += length;
        return true;
    }

    size_t ReadU16(size_t offset) const {
        return (size_t{record_[offset]} << 8) | record_[offset + 1];
    }

    bool Fits(size_t offset, size_t count) const {
        return offset <= record_.size() && count <= record_.size() - offset;
    }

    std::span<const uint8_t> record_;
    size_t cursor_ = 0;
};

}  // namespace

DecoderConfigBlocks ExtractHevcParameterSets(const uint8_t* data, int64_t size) {
    DecoderConfigBlocks result;
    std::vector<uint8_t> written;
    HevcRecordReader reader(ExtradataBytes(data, size));
    if (reader.CopyArrays(written) && !written.empty()) {
        result.csd0 = std::move(written);
        result.hasCsd0 = true;
    }
    return result;
}

}  // namespace streaming
