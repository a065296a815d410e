#pragma once

#include <optional>
#include <string>

namespace platform {

// Paths here are the OS's bytes.

// Opens `path` for reading when it names a regular file, links followed; -1
// with errno set otherwise (EISDIR for a folder, EINVAL for a FIFO, a device
// or a socket). The open never waits: a FIFO or a device put in a file's
// place after the caller looked is opened without blocking, then refused.
int OpenRegularFileForReading(const std::string& path);

// What the path names when it is there but is no regular file, in words: "a
// FIFO", "a character device", "a block device", "a socket", "a folder".
// Nothing for a regular file, or a path that cannot be looked at.
std::optional<std::string> NotARegularFile(const std::string& path);

}  // namespace platform
