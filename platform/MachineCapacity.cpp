#include "platform/MachineCapacity.h"

#include <sched.h>

#include <cstdio>
#include <cstring>

namespace platform {

size_t UsableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    const int count = CPU_COUNT(&set);
    return count > 0 ? static_cast<size_t>(count) : 1;
}

uint64_t AvailableMemoryBytes() {
    FILE* file = std::fopen("/proc/meminfo", "r");
    if (file == nullptr)
        return 0;
    char line[256];
    unsigned long long kibibytes = 0;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::sscanf(line, "MemAvailable: %llu kB", &kibibytes) == 1)
            break;
    }
    std::fclose(file);
    return static_cast<uint64_t>(kibibytes) * 1024;
}

}  // namespace platform
