#include "catalogue/ReaderChoice.h"

#include <algorithm>

namespace {

// The share of the room the readers may plan on: the rest is left for what
// the measure does not see (other processes' growth, the allocator's slack).
constexpr uint64_t kPlannedShareEighths = 7;

}  // namespace

size_t ReadersThatFit(std::optional<uint64_t> roomBytes, uint64_t costBytes, size_t processors) {
    processors = std::max<size_t>(1, processors);
    if (!roomBytes || costBytes == 0)
        return processors;
    const uint64_t fit = *roomBytes / 8 * kPlannedShareEighths / costBytes;
    return static_cast<size_t>(std::clamp<uint64_t>(fit, 1, processors));
}
