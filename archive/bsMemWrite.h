#pragma once

#include <vector>

#include "archive/iStoreArc.h"

// Writes into a growable byte buffer. Its length is the highest position ever
// written; a write below it overwrites, nothing is ever inserted.
class bsMemWrite : public iStoreArc {
public:
    bsMemWrite() = default;

    iArc& SerializeBytes(void* data, uint64_t count) override;
    uint64_t Tell() override { return position_; }
    std::wstring ClassName() override { return L"bsMemWrite"; }

    // Empties the buffer, keeping room for `capacity` bytes, and rewinds.
    void Clear(size_t capacity = 0) {
        data_.clear();
        data_.reserve(capacity);
        position_ = 0;
    }

    // Direct access for the sender, which may pad the bytes in place.
    std::vector<uint8_t>& Buffer() { return data_; }

private:
    std::vector<uint8_t> data_;
    uint64_t position_ = 0;
};
