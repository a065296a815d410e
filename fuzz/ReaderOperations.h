#pragma once

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "FuzzInput.h"
#include "ReaderModel.h"

// The operations every reading archive offers, decoded from a fuzz input and
// checked against the model after each step.
namespace reader_operations {

constexpr uint8_t kFill = 0xA5;
// Room behind the bytes a read may deliver, to see it deliver more.
constexpr uint64_t kGuardBytes = 64;

enum Operation : uint8_t { kSeekNear, kSeekFar, kRead, kReadAll, kReadInt32, kReadIntoNull };
constexpr uint8_t kOperationCount = 6;
constexpr int kOriginCount = 4;  // 3 is no origin at all

inline void CheckedRead(iLoadArc& reader, ReaderModel& model, uint64_t count) {
    std::vector<uint8_t> out(std::min(count, model.Remaining() + kGuardBytes), kFill);
    reader.SerializeBytes(out.data(), count);
    model.CheckRead(count, out.data(), out.size(), kFill);
}

inline void CheckedReadInt32(iLoadArc& reader, ReaderModel& model) {
    int32_t value = 0;
    std::memset(&value, kFill, sizeof value);
    reader.Serialize(value);
    uint8_t bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    model.CheckRead(sizeof value, bytes, sizeof bytes, kFill);
}

inline void Seek(iLoadArc& reader, ReaderModel& model, int64_t offset, int origin) {
    FUZZ_CHECK(reader.Seek(offset, origin));
    model.Seek(offset, origin);
}

// Applies `operation` (below kOperationCount) and checks the reader after it.
inline void Apply(uint8_t operation, FuzzInput& input, iLoadArc& reader, ReaderModel& model) {
    switch (operation) {
        case kSeekNear: {
            const auto offset = input.Take<int32_t>();
            Seek(reader, model, offset, input.Take<uint8_t>() % kOriginCount);
            break;
        }
        case kSeekFar: {
            const auto offset = input.Take<int64_t>();
            Seek(reader, model, offset, input.Take<uint8_t>() % kOriginCount);
            break;
        }
        case kRead:
            CheckedRead(reader, model, input.Take<uint32_t>());
            break;
        case kReadAll:
            CheckedRead(reader, model,
                        std::numeric_limits<uint64_t>::max() - input.Take<uint8_t>());
            break;
        case kReadInt32:
            CheckedReadInt32(reader, model);
            break;
        case kReadIntoNull:
            reader.SerializeBytes(nullptr, input.Take<uint32_t>());
            break;
        default:
            FUZZ_CHECK(!"an operation of the reader's own");
    }
    model.CheckPosition(reader);
}

}  // namespace reader_operations
