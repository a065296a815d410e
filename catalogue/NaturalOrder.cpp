#include "catalogue/NaturalOrder.h"

#include "catalogue/AsciiCase.h"

namespace {

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// The digit run at the start of `text`, without its leading zeros.
std::wstring_view NumberAt(std::wstring_view text, size_t& length) {
    length = 0;
    while (length < text.size() && IsDigit(text[length]))
        ++length;
    size_t zeros = 0;
    while (zeros + 1 < length && text[zeros] == L'0')
        ++zeros;
    return text.substr(zeros, length - zeros);
}

// Negative, zero or positive as for strcmp; numbers longer by digits are larger.
int CompareNumbers(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

int CompareNaturally(std::wstring_view a, std::wstring_view b) {
    while (!a.empty() && !b.empty()) {
        if (IsDigit(a[0]) && IsDigit(b[0])) {
            size_t lengthA = 0, lengthB = 0;
            const int numbers = CompareNumbers(NumberAt(a, lengthA), NumberAt(b, lengthB));
            if (numbers != 0)
                return numbers;
            a.remove_prefix(lengthA);
            b.remove_prefix(lengthB);
            continue;
        }
        const wchar_t ca = AsciiLower(a[0]), cb = AsciiLower(b[0]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        a.remove_prefix(1);
        b.remove_prefix(1);
    }
    return a.empty() ? (b.empty() ? 0 : -1) : 1;
}

}  // namespace

bool NaturalLess(std::wstring_view a, std::wstring_view b) {
    const int natural = CompareNaturally(a, b);
    return natural != 0 ? natural < 0 : a < b;
}
