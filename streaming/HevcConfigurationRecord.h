#pragma once

#include <cstdint>

#include "streaming/DecoderConfigBlocks.h"

namespace streaming {

// Copies every unit of an HEVC decoder configuration record (the extradata of
// HEVC in MP4 or Matroska) into csd0 in Annex-B form, in record order. csd1
// stays empty.
//
// All or nothing: an array of a unit type other than video, sequence or
// picture parameter set or prefix or suffix SEI, or any field or unit that
// runs past the end of the record, yields an empty csd0 with its flag false.
// No byte outside [data, data + size) is read.
DecoderConfigBlocks ExtractHevcParameterSets(const uint8_t* data, int64_t size);

}  // namespace streaming
