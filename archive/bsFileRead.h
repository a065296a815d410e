#pragma once

#include <atomic>
#include <string>

#include "archive/StdioFile.h"
#include "archive/iLoadArc.h"

// Reads a stdio file. The length is taken once at open time and never
// refreshed, so no read asks for more than the file held then. A read the
// system refuses (a bad sector, a share gone away) is told to the operator
// with the file and the offset, and to the caller.
class bsFileRead : public iLoadArc {
public:
    // A null path leaves the reader without a file: transfers do nothing,
    // Tell and Size are 0 and Seek fails.
    bsFileRead(const wchar_t* path, const wchar_t* mode);
    bsFileRead(const std::wstring& path, const wchar_t* mode) : bsFileRead(path.c_str(), mode) {}

    bool IsOpen() const { return file_ != nullptr; }

    iArc& SerializeBytes(void* data, uint64_t count) override;
    uint64_t Tell() override;
    std::wstring ClassName() override { return L"bsFileRead"; }
    uint64_t Size() override { return length_; }
    bool Seek(int64_t offset, int origin) override;

    // The first error a read through SerializeBytes met (an errno value),
    // or 0. Whatever it delivered is no data.
    int ReadError() const { return readError_; }

    struct ReadResult {
        uint64_t delivered = 0;
        int error = 0;  // errno of a read that failed; 0 at the end of the file
    };
    // Reads up to `count` bytes at `offset`, cut at the length taken at open,
    // without moving the position; safe to call from another thread while the
    // owner uses the stream.
    ReadResult ReadAt(uint64_t offset, void* data, uint64_t count) const;

    // How many reads reached the file so far, for diagnostics and tests.
    uint64_t FileReadCount() const { return fileReads_.load(std::memory_order_relaxed); }

private:
    // Tells the operator which file, where, and why.
    void TellReadError(uint64_t offset, int error) const;

    StdioFile file_;
    std::string pathBytes_;
    uint64_t length_ = 0;
    int readError_ = 0;
    mutable std::atomic<uint64_t> fileReads_{0};
};
