#pragma once

// Only A to Z fold, so that names compare alike in every locale.
inline wchar_t AsciiLower(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? c + (L'a' - L'A') : c;
}
