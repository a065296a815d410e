#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

// A memory cgroup of the test's own with a limit and no swap, made where the
// machine lets the test make one (cgroup v2 with the memory controller at
// the root of the tree, or v1's memory tree), removed when the object goes.
// Programs start in it through StartIn's command line.
class MemoryCgroup {
public:
    // A group limited to `bytes`; nothing, and the reason, when the machine
    // gives none.
    static std::optional<MemoryCgroup> Make(uint64_t bytes, std::string& whyNot) {
        const std::string name = "ondu-test-" + std::to_string(getpid());
        const std::filesystem::path v2("/sys/fs/cgroup");
        if (Holds(v2 / "cgroup.subtree_control", "memory")) {
            MemoryCgroup group(v2 / name, "memory.max");
            if (group.Limit(bytes, "memory.swap.max", "0"))
                return group;
            whyNot = "cannot make a limited cgroup v2 group in " + v2.string();
            return std::nullopt;
        }
        const std::filesystem::path v1("/sys/fs/cgroup/memory");
        if (std::filesystem::exists(v1 / "memory.limit_in_bytes")) {
            MemoryCgroup group(v1 / name, "memory.limit_in_bytes");
            if (group.Limit(bytes, "memory.memsw.limit_in_bytes", std::to_string(bytes)))
                return group;
            whyNot = "cannot make a limited cgroup v1 group in " + v1.string();
            return std::nullopt;
        }
        whyNot = "no memory controller in /sys/fs/cgroup that this test can use";
        return std::nullopt;
    }

    MemoryCgroup(MemoryCgroup&& other) noexcept
        : folder_(std::exchange(other.folder_, {})), limitFile_(other.limitFile_) {}
    MemoryCgroup(const MemoryCgroup&) = delete;
    MemoryCgroup& operator=(const MemoryCgroup&) = delete;
    MemoryCgroup& operator=(MemoryCgroup&&) = delete;
    ~MemoryCgroup() {
        if (folder_.empty())
            return;
        std::error_code ignored;
        std::filesystem::remove(folder_, ignored);  // rmdir: the group's files go with it
    }

    // `args` run by a shell that moves itself into the group first, so that
    // the program's every byte counts against the limit.
    std::vector<std::string> StartIn(const std::vector<std::string>& args) const {
        std::vector<std::string> wrapped{
            "sh", "-c", "echo $$ > '" + (folder_ / "cgroup.procs").string() + "' && exec \"$@\"",
            "sh"};
        wrapped.insert(wrapped.end(), args.begin(), args.end());
        return wrapped;
    }

    // Whether the kernel killed a process of the group for want of memory.
    bool SawOutOfMemoryKill() const {
        std::ifstream events(folder_ / "memory.events");
        std::string key;
        uint64_t count = 0;
        while (events >> key >> count) {
            if (key == "oom_kill" && count > 0)
                return true;
        }
        std::ifstream control(folder_ / "memory.oom_control");
        while (control >> key >> count) {
            if (key == "oom_kill" && count > 0)
                return true;
        }
        return false;
    }

private:
    MemoryCgroup(std::filesystem::path folder, const char* limitFile)
        : folder_(std::move(folder)), limitFile_(limitFile) {}

    static bool Holds(const std::filesystem::path& file, const std::string& word) {
        std::ifstream in(file);
        for (std::string item; in >> item;) {
            if (item == word)
                return true;
        }
        return false;
    }

    static bool Write(const std::filesystem::path& file, const std::string& text) {
        std::ofstream out(file);
        out << text << std::flush;
        return static_cast<bool>(out);
    }

    // Swap is switched off where the group has a setting for it, so that
    // the limit is a limit.
    bool Limit(uint64_t bytes, const char* swapFile, const std::string& swapValue) {
        std::error_code error;
        if (!std::filesystem::create_directory(folder_, error))
            return false;
        if (!Write(folder_ / limitFile_, std::to_string(bytes)))
            return false;
        if (std::filesystem::exists(folder_ / swapFile))
            (void)Write(folder_ / swapFile, swapValue);
        return true;
    }

    std::filesystem::path folder_;
    const char* limitFile_;
};
