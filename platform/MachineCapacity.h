#pragma once

#include <cstddef>

namespace platform {

// The processors this process may run on (its affinity, so that `taskset`
// counts), at least 1.
size_t UsableProcessors();

}  // namespace platform
