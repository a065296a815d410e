#pragma once

#include <cstdio>
#include <memory>
#include <string>

// An owned C stdio file, closed when the owner goes.
struct StdioFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using StdioFile = std::unique_ptr<std::FILE, StdioFileCloser>;

// Opens a wide path through its UTF-8 form. Linux has no sharing modes, so
// unlike a Windows share-aware open, other processes may write the file while
// it is open; readers here keep the length they saw at open time. Reading
// ("r", "rb") opens regular files only, without ever waiting on a FIFO or a
// device found in a file's place.
StdioFile OpenStdioFile(const wchar_t* path, const wchar_t* mode);
