#pragma once

#include <cstdint>

namespace platform {

void Sleep(uint32_t milliseconds);

}  // namespace platform
