#pragma once

#include <string>
#include <vector>

#include "catalogue/CatalogueEntry.h"
#include "catalogue/SkipReason.h"

// The headset protocol and the window both cap the list at this many titles.
constexpr size_t MAX_TITLES = 32;

// The shared titles, in the order the user listed them. A headset addresses a
// title by its position. Built before the service's worker thread starts;
// afterwards the threads that handle requests read it, and write nothing but
// the entries' use stamps (MarkUsed).
using Catalogue = std::vector<CatalogueEntry>;

// A path that did not become a title, and why.
struct SkippedPath {
    std::wstring path;
    SkipReason reason;
};

// What a build made of its paths: the titles, and every path that is not
// among them, in the order of the paths.
struct BuiltCatalogue {
    Catalogue catalogue;
    std::vector<SkippedPath> skipped;
};

// Expands the folders among `paths` (ExpandFolders), then takes the first
// MAX_TITLES files as titles, leaving out each that fails a check; every
// further file is skipped as beyond the limit.
BuiltCatalogue BuildCatalogue(const std::vector<std::wstring>& paths);
