#pragma once

#include <string>
#include <string_view>

#include "platform/WideText.h"

// UTF-8 form of a wide string up to its first zero character. Every text the
// service sends (titles) is made with this; values that are not Unicode
// scalar values become U+FFFD, so a file-name byte that is not UTF-8 (held as
// a lone surrogate, see platform/PathBytes.h) shows as U+FFFD. Paths handed
// to FFmpeg or the OS are made with platform::PathToOsBytes instead.
inline std::string ToUtf8(std::wstring_view wide) {
    return platform::WideToUtf8(wide);
}
