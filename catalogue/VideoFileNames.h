#pragma once

#include <string_view>

// Whether `name` ends in `lowerExtension` (".mp4") in any letter case, after
// at least one character of its own: ".mp4" alone names a hidden file.
bool HasExtension(std::wstring_view name, std::wstring_view lowerExtension);

// Whether a file in a folder counts as a video by its name: an extension the
// file dialog offers.
bool HasVideoExtension(std::wstring_view name);

// Whether `path` names one of the system's own packaged movies (.vrm, .vrw).
bool IsPackagedMoviePath(std::wstring_view path);
