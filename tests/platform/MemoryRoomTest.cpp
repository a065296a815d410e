#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/MemoryRoom.h"
#include "support/TempDir.h"

namespace {

constexpr uint64_t kMiB = 1048576;

struct FakeFile {
    std::string path;  // under the fake root
    std::string text;
};

struct RoomCase {
    const char* name;
    std::vector<FakeFile> files;
    std::optional<uint64_t> limit;
    std::optional<uint64_t> free;
    std::optional<uint64_t> usable;
};

const char* const kMeminfo = "MemTotal:       24000000 kB\nMemAvailable:    2097152 kB\n";
const uint64_t kAvailable = 2048 * kMiB;

std::string Bytes(uint64_t mebibytes) {
    return std::to_string(mebibytes * kMiB) + "\n";
}

}  // namespace

// A fake /proc and /sys/fs/cgroup for each kind of machine the service runs on.
TEST(MemoryRoom, ReadsTheTightestLimitOfEachKindOfCgroup) {
    const char* const v2Self = "0::/system.slice/ondulofrin.service\n";
    const char* const v1Self =
        "12:pids:/docker/abc\n4:memory:/docker/abc\n1:name=systemd:/docker/abc\n0::/docker/abc\n";
    const std::string v2Unit = "sys/fs/cgroup/system.slice/ondulofrin.service/";
    const std::string v1Group = "sys/fs/cgroup/memory/docker/abc/";
    const RoomCase cases[] = {
        {"no cgroup at all", {{"proc/meminfo", kMeminfo}}, {}, {}, kAvailable},
        {"v2, MemoryMax=512M",
         {{"proc/meminfo", kMeminfo},
          {"proc/self/cgroup", v2Self},
          {v2Unit + "memory.max", Bytes(512)},
          {v2Unit + "memory.current", Bytes(100)}},
         512 * kMiB,
         412 * kMiB,
         412 * kMiB},
        {"v2, no limit",
         {{"proc/meminfo", kMeminfo},
          {"proc/self/cgroup", v2Self},
          {v2Unit + "memory.max", "max\n"},
          {v2Unit + "memory.current", Bytes(100)}},
         {},
         {},
         kAvailable},
        {"v2, droppable page cache does not count as used",
         {{"proc/meminfo", kMeminfo},
          {"proc/self/cgroup", v2Self},
          {v2Unit + "memory.max", Bytes(512)},
          {v2Unit + "memory.current", Bytes(500)},
          {v2Unit + "memory.stat", "anon 100\nfile 400\ninactive_file " + Bytes(300)}},
         512 * kMiB,
         312 * kMiB,
         312 * kMiB},
        {"v2, the slice above the unit is tighter",
         {{"proc/meminfo", kMeminfo},
          {"proc/self/cgroup", v2Self},
          {v2Unit + "memory.max", "max\n"},
          {v2Unit + "memory.current", Bytes(100)},
          {"sys/fs/cgroup/system.slice/memory.max", Bytes(768)},
          {"sys/fs/cgroup/system.slice/memory.current", Bytes(600)}},
         768 * kMiB,
         168 * kMiB,
         168 * kMiB},
        {"v2, a limit above the machine's memory leaves MemAvailable",
         {{"proc/meminfo", kMeminfo},
          {"proc/self/cgroup", v2Self},
          {v2Unit + "memory.max", Bytes(65536)},
          {v2Unit + "memory.current", Bytes(100)}},
         65536 * kMiB,
         65436 * kMiB,
         kAvailable},
        {"v2, a container that sees its own group as the root",
         {{"proc/meminfo", kMeminfo},
          {"proc/self/cgroup", "0::/\n"},
          {"sys/fs/cgroup/memory.max", Bytes(1024)},
          {"sys/fs/cgroup/memory.current", Bytes(24)}},
         1024 * kMiB,
         1000 * kMiB,
         1000 * kMiB},
        {"v1, docker --memory 1g",
         {{"proc/meminfo", kMeminfo},
          {"proc/self/cgroup", v1Self},
          {v1Group + "memory.limit_in_bytes", Bytes(1024)},
          {v1Group + "memory.usage_in_bytes", Bytes(300)},
          {v1Group + "memory.stat", "cache 1\ntotal_inactive_file " + Bytes(50)}},
         1024 * kMiB,
         774 * kMiB,
         774 * kMiB},
        {"v1, no limit",
         {{"proc/meminfo", kMeminfo},
          {"proc/self/cgroup", v1Self},
          {v1Group + "memory.limit_in_bytes", "9223372036854771712\n"},
          {v1Group + "memory.usage_in_bytes", Bytes(300)}},
         {},
         {},
         kAvailable},
        {"v1, the group's own path hidden from the container",
         {{"proc/meminfo", kMeminfo},
          {"proc/self/cgroup", v1Self},
          {"sys/fs/cgroup/memory/memory.limit_in_bytes", Bytes(512)},
          {"sys/fs/cgroup/memory/memory.usage_in_bytes", Bytes(12)}},
         512 * kMiB,
         500 * kMiB,
         500 * kMiB},
        {"v1 and v2 mounted side by side, the memory controller on v1",
         {{"proc/meminfo", kMeminfo},
          {"proc/self/cgroup", "4:memory,hugetlb:/job\n0::/job\n"},
          {"sys/fs/cgroup/unified/job/cgroup.procs", "1\n"},
          {"sys/fs/cgroup/memory/job/memory.limit_in_bytes", Bytes(512)},
          {"sys/fs/cgroup/memory/job/memory.usage_in_bytes", Bytes(600)}},
         512 * kMiB,
         0,
         0},
        {"a group path that climbs out of the tree stays inside it",
         {{"proc/meminfo", kMeminfo},
          {"proc/self/cgroup", "0::/../../etc\n"},
          {"sys/fs/cgroup/memory.max", Bytes(256)},
          {"sys/fs/cgroup/memory.current", Bytes(56)}},
         256 * kMiB,
         200 * kMiB,
         200 * kMiB},
        {"unreadable numbers are no limit",
         {{"proc/meminfo", "MemTotal: 1 kB\n"},
          {"proc/self/cgroup", "0::/\n"},
          {"sys/fs/cgroup/memory.max", "lots\n"}},
         {},
         {},
         {}},
    };
    for (const RoomCase& c : cases) {
        TempDir root;
        for (const FakeFile& file : c.files) {
            const std::filesystem::path path = root.Path() / file.path;
            std::filesystem::create_directories(path.parent_path());
            std::ofstream(path) << file.text;
        }
        const platform::MemoryRoom room = platform::ReadMemoryRoom(root.Path().string());
        EXPECT_EQ(room.cgroupLimitBytes, c.limit) << c.name;
        EXPECT_EQ(room.cgroupFreeBytes, c.free) << c.name;
        EXPECT_EQ(room.UsableBytes(), c.usable) << c.name;
    }
}
