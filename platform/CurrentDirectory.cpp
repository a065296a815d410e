#include "platform/CurrentDirectory.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/PathBytes.h"

namespace platform {

std::wstring CurrentDirectory() {
    for (size_t capacity = 1024; capacity <= 1024 * 1024; capacity *= 4) {
        std::vector<char> buffer(capacity);
        if (getcwd(buffer.data(), buffer.size()) != nullptr)
            return PathFromOsBytes(buffer.data());
        if (errno != ERANGE)
            return {};
    }
    return {};
}

}  // namespace platform
