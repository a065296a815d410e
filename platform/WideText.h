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

// One well-formed UTF-8 sequence at the start of a text: its code point and
// byte count. The length is 0 when the text does not start with one
// (a stray or missing continuation byte, an overlong form, a surrogate, a
// value above 0x10FFFF, an empty text).
struct Utf8Sequence {
    char32_t codePoint = 0;
    size_t length = 0;
};
Utf8Sequence ReadUtf8Sequence(std::string_view text);

// Appends the UTF-8 bytes of one code point, which must be at most 0x10FFFF.
void AppendUtf8(std::string& out, char32_t c);

}  // namespace platform
