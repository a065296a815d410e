#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "archive/bs100MMemRead.h"

namespace streaming {

// Reads the file's bytes [offset, offset + count) into `target`, which the
// caller has zeroed, so that whatever the file does not hold reads as zero.
// A long range is read a block at a time, and reading ends early once
// `stop` is raised: a stop then waits for one block, not for the range.
void ReadFileBytes(bs100MMemRead& reader, uint64_t offset, void* target, uint64_t count,
                   const std::atomic<bool>* stop = nullptr);

// The `count` bytes of the file from `offset` on, zeros where the file
// holds none. None for a count of 0 or below.
std::vector<uint8_t> FileBytes(bs100MMemRead& reader, uint64_t offset, int64_t count,
                               const std::atomic<bool>* stop = nullptr);

}  // namespace streaming
