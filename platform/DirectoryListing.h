#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// What a path names, links followed.
enum class PathKind { Missing, File, Directory, Other };

// Tells one directory from another, also when two paths lead to it.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

struct PathStatus {
    PathKind kind = PathKind::Missing;
    FileIdentity identity;
    uint64_t size = 0;
    int64_t modifiedNanoseconds = 0;  // since 1970
    bool operator==(const PathStatus&) const = default;
};

PathStatus StatusOfPath(const std::wstring& path);

// The names in a directory, without "." and "..", in the system's order;
// `error` holds the system's text when the directory cannot be read.
struct DirectoryNames {
    std::vector<std::wstring> names;
    std::string error;
};

DirectoryNames ListDirectory(const std::wstring& path);

}  // namespace platform
