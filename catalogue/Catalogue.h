#pragma once

#include <string>
#include <vector>

#include "catalogue/CatalogueEntry.h"

// The headset protocol and the window both cap the list at this many titles.
constexpr size_t MAX_TITLES = 32;

// The shared titles, in the order the user listed them. Filled by
// BuildCatalogue before the worker thread starts; afterwards only the worker
// touches it, and only to refresh `lastUsed`.
extern std::vector<CatalogueEntry> catalogue;

// Empties the catalogue and refills it from the first MAX_TITLES paths; a path
// that fails any check is left out silently.
void BuildCatalogue(const std::vector<std::wstring>& paths);
