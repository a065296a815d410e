#pragma once

#include <string>
#include <string_view>

#include "platform/WideText.h"

// UTF-8 form of a wide string up to its first zero character. Every 8-bit
// text the service keeps or sends (titles, paths handed to FFmpeg) is made
// with this; values that are not Unicode scalar values become U+FFFD.
inline std::string ToUtf8(std::wstring_view wide) {
    return platform::WideToUtf8(wide);
}
