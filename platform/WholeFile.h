#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Paths here are the OS's bytes.

// The bytes of the regular file at `path`; nothing when it cannot be read, is
// no regular file or holds more than `limit` bytes. A FIFO in its place is
// not waited for.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path, uint64_t limit);

// Replaces the file at `path` with `bytes` so that a reader, and the disk
// after a power cut, hold the old file or the new one, never part of one:
// the bytes are written under a temporary name beside it and synced, then
// renamed over it, and the folder synced. The file keeps its mode and, where
// the system allows, its owner; a new one is readable by its owner only.
// When `path` is a symbolic link, the file it leads to is replaced and the
// link stays. An empty folder in the way is removed. False when the file
// could not be written; nothing is left behind then.
bool ReplaceWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Makes the folder at `path` and any missing above it; the folder itself only
// its owner may enter. True when it is there.
bool MakePrivateDirectory(const std::string& path);

}  // namespace platform
