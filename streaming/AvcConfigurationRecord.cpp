#include "streaming/AvcConfigurationRecord.h"

namespace streaming {
namespace {

// FFmpeg's own limit for the converted parameter sets (INT_MAX less the
// input padding); the headset's decoder was configured under it.
constexpr int64_t kMaxConvertedBytes = 0x7FFFFFDF;

constexpr size_t kSequenceSetCountOffset = 5;
constexpr uint8_t kSequenceSetCountMask = 0x1F;

class AvcRecordReader {
public:
    explicit AvcRecordReader(std::span<const uint8_t> record) : record_(record) {}

    uint8_t NextCount() {
        const uint8_t count = cursor_ < record_.size() ? record_[cursor_] : 0;
        ++cursor_;
        return count;
    }

    uint8_t SequenceSetCount() {
        cursor_ = kSequenceSetCountOffset;
        return NextCount() & kSequenceSetCountMask;
    }

    // Appends `count` length-prefixed units to `block`; false when one of
    // them does not fit the record or the running total.
    bool CopyUnits(unsigned count, std::vector<uint8_t>& block) {
        for (unsigned i = 0; i < count; ++i) {
            if (!CopyUnit(block))
                return false;
        }
        return true;
    }

private:
    bool CopyUnit(std::vector<uint8_t>& block) {
        if (!Fits(cursor_, 2))
            return false;
        const size_t length = (size_t{record_[cursor_]} << 8) | record_[cursor_ + 1];
        total_ += static_cast<int64_t>(length) + 4;
        if (total_ > kMaxConvertedBytes)
            return false;
        if (!Fits(cursor_ + 2, length))
            return false;
        AppendWithStartCode(block, record_.data() + cursor_ + 2, length);
        cursor_ += 2 + length;
        return true;
    }

    bool Fits(size_t offset, size_t count) const {
        return offset <= record_.size() && count <= record_.size() - offset;
    }

    std::span<const uint8_t> record_;
    size_t cursor_ = 0;
    int64_t total_ = 0;
};

}  // namespace

DecoderConfigBlocks ExtractAvcParameterSets(const uint8_t* data, int64_t size) {
    DecoderConfigBlocks result;
    AvcRecordReader reader(ExtradataBytes(data, size));
    // With no sequence parameter set the picture parameter set count follows
    // directly; either way it is read exactly once.
    if (!reader.CopyUnits(reader.SequenceSetCount(), result.csd0))
        return result;
    if (!reader.CopyUnits(reader.NextCount(), result.csd1))
        return result;
    result.hasCsd0 = !result.csd0.empty();
    result.hasCsd1 = !result.csd1.empty();
    return result;
}

}  // namespace streaming
