#pragma once

#include <string>

namespace platform {

// Full path of the running program file, from /proc/self/exe; empty when the
// link cannot be read.
std::wstring ModuleFileName();

}  // namespace platform
