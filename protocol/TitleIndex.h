#pragma once

#include <cstddef>
#include <cstdint>

// A title index from a request addresses one of `titleCount` titles.
inline bool IsValidTitleIndex(int32_t index, size_t titleCount) {
    return index >= 0 && static_cast<size_t>(index) < titleCount;
}
