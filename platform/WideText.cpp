#include "platform/WideText.h"

#include <cstdint>

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

namespace {

// Length of the sequence a lead byte announces, or 0 for a byte that cannot lead.
int SequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

}  // namespace

std::string WideToUtf8(std::wstring_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        char32_t c = static_cast<char32_t>(static_cast<uint32_t>(wide[i]));
        if (c == 0)
            break;
        if (IsHighSurrogate(c) && i + 1 < wide.size()) {
            const char32_t next = static_cast<char32_t>(static_cast<uint32_t>(wide[i + 1]));
            if (IsLowSurrogate(next)) {
                c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            }
        }
        if (IsHighSurrogate(c) || IsLowSurrogate(c) || c > 0x10FFFF)
            c = kReplacement;
        AppendUtf8(out, c);
    }
    return out;
}

namespace {

// One well-formed UTF-8 sequence at the start of a text: its code point and
// byte count. The length is 0 when the text does not start with one
// (a stray or missing continuation byte, an overlong form, a surrogate, a
// value above 0x10FFFF, an empty text).
struct Utf8Sequence {
    char32_t codePoint = 0;
    size_t length = 0;
};

Utf8Sequence ReadUtf8Sequence(std::string_view text) {
    if (text.empty())
        return {};
    const auto lead = static_cast<unsigned char>(text[0]);
    const auto length = static_cast<size_t>(SequenceLength(lead));
    if (length == 0 || length > text.size())
        return {};
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[k]);
        if ((byte & 0xC0) != 0x80)
            return {};
        c = (c << 6) | (byte & 0x3F);
    }
    const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
    if (overlong || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c))
        return {};
    return {c, length};
}

}  // namespace

std::wstring DecodeUtf8(std::string_view text, StrayByteMapping strayByte) {
    std::wstring out;
    out.reserve(text.size());
    while (!text.empty()) {
        const Utf8Sequence sequence = ReadUtf8Sequence(text);
        if (sequence.length == 0) {
            out.push_back(strayByte(static_cast<unsigned char>(text.front())));
            text.remove_prefix(1);
            continue;
        }
        out.push_back(static_cast<wchar_t>(sequence.codePoint));
        text.remove_prefix(sequence.length);
    }
    return out;
}

std::wstring Utf8ToWide(std::string_view utf8) {
    return DecodeUtf8(utf8, [](unsigned char) { return static_cast<wchar_t>(kReplacement); });
}

}  // namespace platform
