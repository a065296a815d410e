#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/bsMemRead.h"

namespace headset {

// Reads the fields of one reply in order and remembers whether any of them
// ran past the end: the server may have cut a reply short, and a cut reply
// must be reported rather than read as zeros.
class ReplyFields {
public:
    explicit ReplyFields(const std::vector<uint8_t>& payload)
        : reader_(payload.data(), payload.size()) {}

    template <typename Value>
    Value Read() {
        Value value{};
        if (Has(sizeof value))
            reader_.Serialize(value);
        return value;
    }

    std::vector<uint8_t> Bytes(int64_t count) {
        std::vector<uint8_t> bytes;
        if (count < 0) {
            complete_ = false;
            return bytes;
        }
        if (!Has(static_cast<uint64_t>(count)))
            return bytes;
        bytes.resize(static_cast<size_t>(count));
        if (count > 0)
            reader_.SerializeBytes(bytes.data(), bytes.size());
        return bytes;
    }

    // Steps over bytes that stay in the payload, such as packet data.
    bool Skip(int64_t count) {
        if (count < 0) {
            complete_ = false;
            return false;
        }
        if (!Has(static_cast<uint64_t>(count)))
            return false;
        reader_.Seek(count, 1);
        return true;
    }

    // True when nothing but the zero padding of the frame is left.
    bool OnlyPaddingLeft() {
        if (!complete_ || Left() >= 16)
            return false;
        while (Left() > 0) {
            uint8_t byte = 0;
            reader_.Serialize(byte);
            if (byte != 0)
                return false;
        }
        return true;
    }

    // False once any read asked for more than was left.
    bool Complete() const { return complete_; }
    uint64_t Position() { return reader_.Tell(); }
    uint64_t Left() { return reader_.Size() - reader_.Tell(); }

private:
    bool Has(uint64_t count) {
        if (complete_ && count <= Left())
            return true;
        complete_ = false;
        return false;
    }

    bsMemRead reader_;
    bool complete_ = true;
};

}  // namespace headset
