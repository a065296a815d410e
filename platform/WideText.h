#pragma once

#include <string>
#include <string_view>

namespace platform {

// UTF-8 form of a wide string, stopping at the first zero character. A UTF-16
// surrogate pair held in two wide characters is joined into one code point;
// anything else that is not a Unicode scalar value (a lone surrogate, a value
// above 0x10FFFF) becomes U+FFFD.
std::string WideToUtf8(std::wstring_view wide);

// Wide form of UTF-8 text. Malformed sequences become U+FFFD.
std::wstring Utf8ToWide(std::string_view utf8);

}  // namespace platform
