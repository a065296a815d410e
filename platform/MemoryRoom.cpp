#include "platform/MemoryRoom.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

namespace platform {

namespace {

namespace fs = std::filesystem;

// cgroup v1 says "no limit" with the largest page-aligned counter, which
// no machine has; anything this large is taken as no limit.
constexpr uint64_t kNoLimitFrom = uint64_t{1} << 60;

// One kind of memory cgroup: where its tree is mounted and its files' names.
struct CgroupFiles {
    const char* mount;
    const char* limit;
    const char* usage;
    const char* droppableCache;  // the key in memory.stat
};

constexpr CgroupFiles kVersion2{"sys/fs/cgroup", "memory.max", "memory.current", "inactive_file"};
constexpr CgroupFiles kVersion1{"sys/fs/cgroup/memory", "memory.limit_in_bytes",
                                "memory.usage_in_bytes", "total_inactive_file"};

std::optional<uint64_t> ReadNumber(const fs::path& file) {
    std::ifstream in(file);
    std::string text;
    if (!(in >> text) || text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    std::istringstream digits(text);
    uint64_t value = 0;
    if (!(digits >> value))
        return std::nullopt;
    return value;
}

// The value of `key` in a file of "key value" lines (memory.stat) or of
// "Key: value kB" lines (meminfo, where `key` carries the colon).
std::optional<uint64_t> ReadKeyedNumber(const fs::path& file, std::string_view key) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name;
        uint64_t value = 0;
        if (fields >> name >> value && name == key)
            return value;
    }
    return std::nullopt;
}

// The groups' paths named in /proc/self/cgroup: the v2 line "0::PATH", and
// the v1 line whose controller list holds "memory".
struct GroupPaths {
    std::optional<std::string> version2;
    std::optional<std::string> version1;
};

GroupPaths ReadGroupPaths(const fs::path& file) {
    GroupPaths paths;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        const size_t first = line.find(':');
        const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos)
            continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        std::string path = line.substr(second + 1);
        if (line.compare(0, first, "0") == 0 && controllers.empty()) {
            paths.version2 = std::move(path);
            continue;
        }
        std::istringstream list(controllers);
        for (std::string controller; std::getline(list, controller, ',');) {
            if (controller == "memory")
                paths.version1 = path;
        }
    }
    return paths;
}

struct GroupRoom {
    std::optional<uint64_t> limit;
    std::optional<uint64_t> free;
};

// One group's limit and what it leaves; nothing when the group has no limit.
GroupRoom ReadGroup(const fs::path& folder, const CgroupFiles& files) {
    const std::optional<uint64_t> limit = ReadNumber(folder / files.limit);
    if (!limit || *limit >= kNoLimitFrom)
        return {};
    uint64_t used = ReadNumber(folder / files.usage).value_or(*limit);
    used -=
        std::min(used, ReadKeyedNumber(folder / "memory.stat", files.droppableCache).value_or(0));
    return {limit, *limit - std::min(*limit, used)};
}

// The tightest limit from the group at `path` up to the root of the tree. A
// group the tree does not show (a container sees its own group as the
// root) is looked for from the root.
GroupRoom ReadTree(const fs::path& root, const CgroupFiles& files, const std::string& path) {
    const fs::path mount = root / files.mount;
    std::error_code error;
    fs::path folder = (mount / fs::path(path).relative_path()).lexically_normal();
    if (!fs::is_directory(folder, error) || folder.native().rfind(mount.native(), 0) != 0)
        folder = mount;
    GroupRoom tightest;
    for (;;) {
        const GroupRoom group = ReadGroup(folder, files);
        if (group.limit && (!tightest.limit || *group.limit < *tightest.limit))
            tightest.limit = group.limit;
        if (group.free && (!tightest.free || *group.free < *tightest.free))
            tightest.free = group.free;
        if (folder == mount || !folder.has_parent_path() || folder.parent_path() == folder)
            break;
        folder = folder.parent_path();
    }
    return tightest;
}

}  // namespace

std::optional<uint64_t> MemoryRoom::UsableBytes() const {
    if (availableBytes && cgroupFreeBytes)
        return std::min(*availableBytes, *cgroupFreeBytes);
    return availableBytes ? availableBytes : cgroupFreeBytes;
}

MemoryRoom ReadMemoryRoom(const std::string& root) {
    const fs::path base(root);
    MemoryRoom room;
    if (const std::optional<uint64_t> kibibytes =
            ReadKeyedNumber(base / "proc/meminfo", "MemAvailable:"))
        room.availableBytes = *kibibytes * 1024;
    const GroupPaths paths = ReadGroupPaths(base / "proc/self/cgroup");
    GroupRoom group;
    if (paths.version2)
        group = ReadTree(base, kVersion2, *paths.version2);
    if (!group.limit && paths.version1)
        group = ReadTree(base, kVersion1, *paths.version1);
    room.cgroupLimitBytes = group.limit;
    room.cgroupFreeBytes = group.free;
    return room;
}

}  // namespace platform
