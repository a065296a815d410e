#include "catalogue/Catalogue.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <variant>

#include "catalogue/FolderExpansion.h"
#include "catalogue/MediaProbe.h"
#include "catalogue/PackagedMovie.h"
#include "catalogue/ToUtf8.h"

namespace {

// Room for more entries than MAX_TITLES, so filling never reallocates.
constexpr size_t kReservedEntries = 200;
constexpr size_t kShortestPath = 5;

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// The characters after the last separator, or nothing when the path has no
// separator or ends in one.
std::optional<std::wstring_view> FileNamePart(std::wstring_view path) {
    const auto last = std::find_if(path.rbegin(), path.rend(), IsSeparator);
    if (last == path.rend() || last == path.rbegin())
        return std::nullopt;
    return path.substr(static_cast<size_t>(path.rend() - last));
}

// Only A to Z fold, so the test does not depend on any locale.
wchar_t AsciiLower(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? c + (L'a' - L'A') : c;
}

bool EndsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view lowerSuffix) {
    if (text.size() < lowerSuffix.size())
        return false;
    const std::wstring_view tail = text.substr(text.size() - lowerSuffix.size());
    return std::equal(tail.begin(), tail.end(), lowerSuffix.begin(),
                      [](wchar_t a, wchar_t b) { return AsciiLower(a) == b; });
}

bool IsPackagedMoviePath(std::wstring_view path) {
    return EndsWithIgnoringAsciiCase(path, L".vrm") || EndsWithIgnoringAsciiCase(path, L".vrw");
}

TitleOrReason ReadTitle(const std::wstring& path) {
    if (path.size() < kShortestPath)
        return SkipReason{SkipKind::NoFileName, {}};
    const std::optional<std::wstring_view> fileName = FileNamePart(path);
    if (!fileName)
        return SkipReason{SkipKind::NoFileName, {}};
    const std::string title = ToUtf8(*fileName);
    if (IsPackagedMoviePath(path))
        return ReadPackagedMovie(path, title);
    return ProbeMediaFile(path, title);
}

}  // namespace

BuiltCatalogue BuildCatalogue(const std::vector<std::wstring>& paths) {
    BuiltCatalogue built;
    built.catalogue.reserve(kReservedEntries);
    // Every one of the first MAX_TITLES files uses up a place, accepted or
    // not; a folder takes none of its own.
    size_t places = 0;
    for (ExpandedPath& item : ExpandFolders(paths)) {
        if (!item.isFile) {
            built.skipped.push_back({std::move(item.path), std::move(item.reason)});
            continue;
        }
        if (places++ >= MAX_TITLES) {
            built.skipped.push_back({std::move(item.path), {SkipKind::BeyondTitleLimit, {}}});
            continue;
        }
        TitleOrReason title = ReadTitle(item.path);
        if (CatalogueEntry* entry = std::get_if<CatalogueEntry>(&title)) {
            built.catalogue.push_back(std::move(*entry));
        } else {
            built.skipped.push_back({std::move(item.path), std::get<SkipReason>(std::move(title))});
        }
    }
    return built;
}
