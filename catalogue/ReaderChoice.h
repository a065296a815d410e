#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// How many titles a build read at once, and what it went by.
struct ReaderChoice {
    size_t readers = 1;
    size_t processors = 1;
    // The most one reader added to the process's memory while it read a
    // title alone; 0 when no title was read from its file.
    uint64_t readerCostBytes = 0;
    // What the process could still take when the count was chosen.
    std::optional<uint64_t> roomBytes;

    // Whether memory, not the processors, set the count.
    bool LimitedByMemory() const { return readerCostBytes > 0 && readers < processors; }
};

// As many readers as fit in `roomBytes` with a margin, each taking
// `costBytes`, at least one and at most `processors`. The room is what is
// left while one reader already runs; its own next title may take up to
// `costBytes` more than it holds, so it is counted like the others.
size_t ReadersThatFit(std::optional<uint64_t> roomBytes, uint64_t costBytes, size_t processors);
