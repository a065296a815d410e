#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Splits a command line into words by the rules Windows programs use: blanks
// separate words, double quotes group, and backslashes are literal except
// before a double quote (2n backslashes and a quote give n backslashes and a
// grouping quote, 2n + 1 give n backslashes and a literal quote). Inside
// quotes, "" is a literal quote. The first word, the program, ends at the
// next quote or blank and knows no escapes, as CreateProcess reads it.
std::vector<std::wstring> SplitWindowsCommandLine(std::wstring_view commandLine);

}  // namespace platform
