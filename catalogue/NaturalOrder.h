#pragma once

#include <string_view>

// Orders names as people count: a run of digits compares by its number, so
// "clip2" comes before "clip10"; other characters compare without regard to
// ASCII letter case. Names equal that way fall back to their exact text, so
// the order is total.
bool NaturalLess(std::wstring_view a, std::wstring_view b);
