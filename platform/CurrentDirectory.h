#pragma once

#include <string>

namespace platform {

// The process's current directory, without a trailing separator except for
// the root; empty when it cannot be told (for example after it was removed).
std::wstring CurrentDirectory();

}  // namespace platform
