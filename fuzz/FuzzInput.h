#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

// Takes little-endian values off the front of a fuzz input. Past the end
// every value reads as zero, so any input decodes to some operation sequence.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : bytes_(data, size) {}

    bool Empty() const { return bytes_.empty(); }

    template <typename T>
    T Take() {
        T value{};
        const size_t count = std::min(sizeof(T), bytes_.size());
        std::memcpy(&value, bytes_.data(), count);
        bytes_ = bytes_.subspan(count);
        return value;
    }

    // Up to `count` bytes, fewer when the input ends first.
    std::span<const uint8_t> TakeBytes(size_t count) {
        const std::span<const uint8_t> taken = bytes_.first(std::min(count, bytes_.size()));
        bytes_ = bytes_.subspan(taken.size());
        return taken;
    }

private:
    std::span<const uint8_t> bytes_;
};
