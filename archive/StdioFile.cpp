#include "archive/StdioFile.h"

#include <unistd.h>

#include "platform/PathBytes.h"
#include "platform/RegularFile.h"
#include "platform/WideText.h"

namespace {

bool IsReadOnly(const std::string& mode) {
    return mode == "r" || mode == "rb";
}

}  // namespace

StdioFile OpenStdioFile(const wchar_t* path, const wchar_t* mode) {
    if (path == nullptr || mode == nullptr)
        return StdioFile{};
    const std::string pathBytes = platform::PathToOsBytes(path);
    const std::string utf8Mode = platform::WideToUtf8(mode);
    if (!IsReadOnly(utf8Mode))
        return StdioFile{std::fopen(pathBytes.c_str(), utf8Mode.c_str())};
    const int descriptor = platform::OpenRegularFileForReading(pathBytes);
    if (descriptor < 0)
        return StdioFile{};
    StdioFile file{fdopen(descriptor, utf8Mode.c_str())};
    if (!file)
        close(descriptor);
    return file;
}
