#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// The memory this process may still take without being killed or pushing
// the system into swap.
struct MemoryRoom {
    // The system's MemAvailable; nothing when /proc/meminfo does not say.
    std::optional<uint64_t> availableBytes;
    // The tightest memory cgroup limit on the way from the process's group to
    // the root, and what that group and the groups under it may still take
    // (the limit less their use, page cache that can be dropped not counted);
    // nothing when no group has a limit.
    std::optional<uint64_t> cgroupLimitBytes;
    std::optional<uint64_t> cgroupFreeBytes;

    // The smaller of the two rooms; nothing when neither is known.
    std::optional<uint64_t> UsableBytes() const;
};

// Reads the room from the files under `root`, "/" for the real system:
// proc/meminfo, proc/self/cgroup, and the groups under sys/fs/cgroup
// (cgroup v2: memory.max, memory.current; v1, in sys/fs/cgroup/memory:
// memory.limit_in_bytes, memory.usage_in_bytes; memory.stat for the page
// cache of both).
MemoryRoom ReadMemoryRoom(const std::string& root = "/");

}  // namespace platform
