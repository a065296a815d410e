#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "catalogue/ReaderChoice.h"
#include "platform/MemoryRoom.h"
#include "protocol/ProtocolLimits.h"

// What a start chose to let the service's memory grow to.
struct MemoryBudgets {
    // The block caches of all open packaged titles together.
    uint64_t blockCacheBytes = 0;
    // The replies held for all headsets together.
    size_t replyBytes = 0;
    // The memory cgroup limit they were cut to; none when there is none.
    std::optional<uint64_t> cgroupLimitBytes;
};

// The defaults, or where the process is in a memory cgroup, a quarter of
// its limit for each when that is less.
MemoryBudgets BudgetsFor(const platform::MemoryRoom& room);

// What a start chose: its readers and its budgets.
struct MemoryChoice {
    ReaderChoice readers;
    MemoryBudgets budgets;

    // Whether a limit made the start choose less than it would by default.
    bool Limited() const;
};
