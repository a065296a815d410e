#include "platform/PathBytes.h"

#include <algorithm>
#include <cstdint>

#include "platform/WideText.h"

namespace platform {
namespace {

constexpr char32_t kFirstByteSurrogate = 0xDC80;
constexpr char32_t kLastByteSurrogate = 0xDCFF;
constexpr char32_t kReplacement = 0xFFFD;

char32_t CodePointOf(wchar_t c) {
    return static_cast<char32_t>(static_cast<uint32_t>(c));
}

bool IsByteSurrogate(char32_t c) {
    return c >= kFirstByteSurrogate && c <= kLastByteSurrogate;
}

bool IsSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

}  // namespace

std::wstring PathFromOsBytes(std::string_view bytes) {
    // Only bytes from 0x80 up can fail to decode, so the surrogate stays
    // within U+DC80..U+DCFF.
    return DecodeUtf8(bytes, [](unsigned char byte) {
        return static_cast<wchar_t>(kFirstByteSurrogate + (byte - 0x80));
    });
}

std::string PathToOsBytes(std::wstring_view path) {
    std::string bytes;
    bytes.reserve(path.size());
    for (const wchar_t character : path) {
        const char32_t c = CodePointOf(character);
        if (c == 0)
            break;
        if (IsByteSurrogate(c)) {
            bytes.push_back(static_cast<char>(0x80 + (c - kFirstByteSurrogate)));
        } else if (IsSurrogate(c) || c > 0x10FFFF) {
            AppendUtf8(bytes, kReplacement);
        } else {
            AppendUtf8(bytes, c);
        }
    }
    return bytes;
}

bool HasUndecodableBytes(std::wstring_view path) {
    return std::any_of(path.begin(), path.end(),
                       [](wchar_t c) { return IsByteSurrogate(CodePointOf(c)); });
}

}  // namespace platform
