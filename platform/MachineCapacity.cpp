#include "platform/MachineCapacity.h"

#include <sched.h>

namespace platform {

size_t UsableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    const int count = CPU_COUNT(&set);
    return count > 0 ? static_cast<size_t>(count) : 1;
}

}  // namespace platform
