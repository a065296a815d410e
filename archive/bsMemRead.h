#pragma once

#include <vector>

#include "archive/iLoadArc.h"

// Reads its own copy of a byte buffer.
class bsMemRead : public iLoadArc {
public:
    bsMemRead(const void* data, uint64_t length);

    iArc& SerializeBytes(void* data, uint64_t count) override;
    uint64_t Tell() override { return position_; }
    std::wstring ClassName() override { return L"bsMemRead"; }
    uint64_t Size() override { return data_.size(); }
    // A target outside [0, Size] leaves the position; the result is true anyway.
    bool Seek(int64_t offset, int origin) override;

private:
    std::vector<uint8_t> data_;
    uint64_t position_ = 0;
};
