#pragma once

#include <string>
#include <string_view>

namespace platform {

// UTF-8 form of a wide string, stopping at the first zero character. A UTF-16
// surrogate pair held in two wide characters is joined into one code point;
// anything else that is not a Unicode scalar value (a lone surrogate, a value
// above 0x10FFFF) becomes U+FFFD.
std::string WideToUtf8(std::wstring_view wide);

// Wide form of UTF-8 text. Malformed sequences become U+FFFD. For paths,
// which must keep their bytes, see PathFromOsBytes.
std::wstring Utf8ToWide(std::string_view utf8);

// Wide form of UTF-8 text in which each byte that starts no well-formed
// sequence becomes what `strayByte` makes of it.
using StrayByteMapping = wchar_t (*)(unsigned char byte);
std::wstring DecodeUtf8(std::string_view text, StrayByteMapping strayByte);

// Appends the UTF-8 bytes of one code point, which must be at most 0x10FFFF.
void AppendUtf8(std::string& out, char32_t c);

}  // namespace platform
