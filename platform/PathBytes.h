#pragma once

#include <string>
#include <string_view>

namespace platform {

// File names on Linux are bytes, not text: old drives and archives hold names
// in Latin-1 or GBK that are not valid UTF-8. A path keeps its exact bytes
// through a wide string this way: valid UTF-8 becomes its code points, and
// each byte that is not part of valid UTF-8 becomes the lone surrogate
// U+DC80 + (byte - 0x80), from U+DC80 to U+DCFF. PathToOsBytes turns such a
// wide path back into the same bytes, so every path the program was given
// (command line, folder walk, file dialog) reaches the OS unchanged. A lone
// surrogate is never text: WideToUtf8 shows it as U+FFFD, which is how a
// title the headset sees is made valid UTF-8.

// Wide form of a path as the OS gives it (argv, getcwd, readlink, readdir).
std::wstring PathFromOsBytes(std::string_view bytes);

// The bytes to give the OS for a wide path (fopen, stat, avformat_open_input,
// spawned programs' arguments). Stops at the first zero character. A
// surrogate that no byte maps to becomes U+FFFD's bytes.
std::string PathToOsBytes(std::wstring_view path);

// True when the path holds a byte that is not valid UTF-8, so that no text
// shows it as it is.
bool HasUndecodableBytes(std::wstring_view path);

}  // namespace platform
