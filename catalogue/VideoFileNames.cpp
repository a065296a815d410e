#include "catalogue/VideoFileNames.h"

#include <algorithm>
#include <iterator>

#include "catalogue/AsciiCase.h"

namespace {

// The file dialog's extensions.
constexpr std::wstring_view kVideoExtensions[] = {L".vrm", L".vrw", L".mp4",  L".webm", L".mov",
                                                  L".mkv", L".ts",  L".m2ts", L".flv",  L".avi",
                                                  L".wmv", L".m4v", L".m2t"};

// In any letter case, after at least one character of its own: ".mp4"
// alone names a hidden file.
bool HasExtension(std::wstring_view name, std::wstring_view lowerExtension) {
    if (name.size() <= lowerExtension.size())
        return false;
    const std::wstring_view tail = name.substr(name.size() - lowerExtension.size());
    return std::equal(tail.begin(), tail.end(), lowerExtension.begin(),
                      [](wchar_t a, wchar_t b) { return AsciiLower(a) == b; });
}

}  // namespace

bool HasVideoExtension(std::wstring_view name) {
    return std::any_of(std::begin(kVideoExtensions), std::end(kVideoExtensions),
                       [&](std::wstring_view extension) { return HasExtension(name, extension); });
}

bool IsPackagedMoviePath(std::wstring_view path) {
    return HasExtension(path, L".vrm") || HasExtension(path, L".vrw");
}
