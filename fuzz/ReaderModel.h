#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "FuzzCheck.h"
#include "archive/iLoadArc.h"

// The reading rules every reading archive follows, kept over the bytes the
// reader should see (which must outlive the model): the position only moves to targets in [0,
// Size], a read delivers what is left up to its count and leaves the rest of the caller's memory
// alone, and nothing is ever delivered past Size.
class ReaderModel {
public:
    explicit ReaderModel(std::span<const uint8_t> bytes)
        : bytes_(bytes), intactBytes_(bytes_.size()) {}

    uint64_t Position() const { return position_; }
    uint64_t Size() const { return bytes_.size(); }
    uint64_t Remaining() const { return Size() - position_; }

    void Seek(int64_t offset, int origin) {
        __int128 target = 0;
        if (origin == 0)
            target = static_cast<__int128>(static_cast<uint64_t>(offset));
        else if (origin == 1)
            target = static_cast<__int128>(position_) + offset;
        else if (origin == 2)
            target = static_cast<__int128>(Size()) + offset;
        else
            return;
        if (target >= 0 && target <= static_cast<__int128>(Size()))
            position_ = static_cast<uint64_t>(target);
    }

    // Bytes from `offset` on may since have been cut from the file behind the
    // reader; they may then read as their old value or as zero.
    void ForgetFrom(uint64_t offset) { intactBytes_ = std::min(intactBytes_, offset); }

    // Checks what a read of `count` bytes put into `out`, which holds
    // `outSize` bytes preset to `fill`, and moves the position past it.
    void CheckRead(uint64_t count, const uint8_t* out, size_t outSize, uint8_t fill) {
        const uint64_t delivered = std::min(count, Remaining());
        FUZZ_CHECK(delivered <= outSize);
        const uint64_t intact = std::clamp(intactBytes_, position_, position_ + delivered);
        FUZZ_CHECK(std::equal(out, out + (intact - position_), bytes_.begin() + position_));
        for (uint64_t offset = intact; offset < position_ + delivered; ++offset) {
            const uint8_t got = out[offset - position_];
            FUZZ_CHECK(got == bytes_[offset] || got == 0);
        }
        FUZZ_CHECK(
            std::all_of(out + delivered, out + outSize, [&](uint8_t b) { return b == fill; }));
        position_ += delivered;
    }

    void CheckPosition(iLoadArc& reader) const {
        FUZZ_CHECK(reader.Tell() == position_);
        FUZZ_CHECK(reader.Size() == Size());
        FUZZ_CHECK(reader.IsEnd() == (position_ >= Size()));
    }

private:
    std::span<const uint8_t> bytes_;
    uint64_t position_ = 0;
    uint64_t intactBytes_;
};
