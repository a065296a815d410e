#pragma once

#include <cstdint>

#include "streaming/DecoderConfigBlocks.h"

namespace streaming {

// Copies the parameter sets of an AVC decoder configuration record (the
// extradata of H.264 in MP4 or Matroska) into Annex-B blocks: the sequence
// parameter sets into csd0, the picture parameter sets into csd1.
//
// The record comes from the file and is not trusted; no byte outside
// [data, data + size) is read. A count byte beyond the end reads as 0, so a
// short record ends normally with the units that were complete. A unit whose
// bytes run past the end stops the copy: both flags stay false and the units
// copied before it stay in the blocks. Bytes 0 to 4 of the record are ignored.
DecoderConfigBlocks ExtractAvcParameterSets(const uint8_t* data, int64_t size);

}  // namespace streaming
