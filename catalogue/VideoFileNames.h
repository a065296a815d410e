#pragma once

#include <string_view>

// Whether a file in a folder counts as a video by its name: an extension the
// file dialog offers.
bool HasVideoExtension(std::wstring_view name);

// Whether `path` names one of the system's own packaged movies (.vrm, .vrw).
bool IsPackagedMoviePath(std::wstring_view path);
