#include "archive/bsMemRead.h"

#include <cstring>

bsMemRead::bsMemRead(const void* data, uint64_t length) {
    if (data != nullptr && length > 0) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        data_.assign(bytes, bytes + length);
    }
}

iArc& bsMemRead::SerializeBytes(void* data, uint64_t count) {
    if (data == nullptr)
        return *this;
    const uint64_t remaining = position_ < data_.size() ? data_.size() - position_ : 0;
    if (count > remaining)
        count = remaining;
    if (count > 0) {
        std::memcpy(data, data_.data() + position_, count);
        position_ += count;
    }
    return *this;
}

bool bsMemRead::Seek(int64_t offset, int origin) {
    uint64_t target = 0;
    switch (origin) {
        case 0:
            target = static_cast<uint64_t>(offset);
            break;
        case 1:
            target = position_ + static_cast<uint64_t>(offset);
            break;
        case 2:
            target = Size() + static_cast<uint64_t>(offset);
            break;
        default:
            return true;
    }
    // Unsigned arithmetic: a negative target wraps above Size and is refused.
    if (target <= Size())
        position_ = target;
    return true;
}
