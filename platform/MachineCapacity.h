#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// The processors this process may run on (its affinity, so that `taskset`
// counts), at least 1.
size_t UsableProcessors();

// The memory the system could give without swapping (MemAvailable), in
// bytes; 0 when it cannot be told.
uint64_t AvailableMemoryBytes();

}  // namespace platform
