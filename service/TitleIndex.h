#pragma once

#include <cstdint>

#include "catalogue/Catalogue.h"

// A title index from a request addresses an entry of the catalogue.
inline bool IsValidTitleIndex(int32_t index) {
    return index >= 0 && static_cast<size_t>(index) < catalogue.size();
}
