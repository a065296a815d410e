#pragma once

#include "archive/StdioFile.h"
#include "archive/iStoreArc.h"

// Writes a stdio file. Short writes go unnoticed, as everywhere in the archives.
class bsFileWrite : public iStoreArc {
public:
    // Modes in use: "w+b" (create or truncate) and "ab" (append).
    bsFileWrite(const wchar_t* path, const wchar_t* mode);
    bsFileWrite(const std::wstring& path, const wchar_t* mode) : bsFileWrite(path.c_str(), mode) {}

    bool IsOpen() const { return file_ != nullptr; }

    iArc& SerializeBytes(void* data, uint64_t count) override;
    uint64_t Tell() override;
    std::wstring ClassName() override { return L"bsFileWrite"; }

private:
    StdioFile file_;
};
