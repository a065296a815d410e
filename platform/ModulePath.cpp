#include "platform/ModulePath.h"

#include <unistd.h>

#include <vector>

#include "platform/PathBytes.h"

namespace platform {

std::wstring ModuleFileName() {
    // readlink does not say whether the target was cut short, so grow the
    // buffer until the answer leaves room to spare.
    for (size_t capacity = 1024; capacity <= 1024 * 1024; capacity *= 4) {
        std::vector<char> buffer(capacity);
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<size_t>(length) < buffer.size()) {
            return PathFromOsBytes(std::string_view(buffer.data(), static_cast<size_t>(length)));
        }
    }
    return {};
}

}  // namespace platform
