#include "archive/StdioFile.h"

#include "platform/PathBytes.h"
#include "platform/WideText.h"

StdioFile OpenStdioFile(const wchar_t* path, const wchar_t* mode) {
    if (path == nullptr || mode == nullptr)
        return StdioFile{};
    const std::string pathBytes = platform::PathToOsBytes(path);
    const std::string utf8Mode = platform::WideToUtf8(mode);
    return StdioFile{std::fopen(pathBytes.c_str(), utf8Mode.c_str())};
}
