#include "archive/bsMemWrite.h"

#include <algorithm>
#include <cstring>

iArc& bsMemWrite::SerializeBytes(void* data, uint64_t count) {
    if (data == nullptr || count == 0)
        return *this;
    const uint64_t end = position_ + count;
    if (end > data_.size()) {
        // Grow by at least half the capacity so that long replies cost
        // amortised constant time per byte.
        if (end > data_.capacity()) {
            const uint64_t grown = data_.capacity() + data_.capacity() / 2;
            data_.reserve(std::max(end, grown));
        }
        data_.resize(end);
    }
    std::memcpy(data_.data() + position_, data, count);
    position_ = end;
    return *this;
}
