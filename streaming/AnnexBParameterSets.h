#pragma once

#include <cstdint>

#include "streaming/DecoderConfigBlocks.h"

namespace streaming {

// True when extradata is already an Annex-B byte stream (it begins with
// 00 00 01 or 00 00 00 01) instead of a configuration record. Demultiplexers
// of elementary-stream containers such as MPEG-TS store it that way, and a
// configuration record never starts like this (its first byte, the version,
// is 1).
bool IsAnnexBStream(const uint8_t* data, int64_t size);

// H.264 parameter sets of an Annex-B stream: every sequence parameter set into
// csd0 and every picture parameter set into csd1, each with a four-byte start
// code; other units are skipped.
DecoderConfigBlocks CollectAvcAnnexBParameterSets(const uint8_t* data, int64_t size);

// HEVC units of an Annex-B stream whose types may configure the decoder
// (parameter sets and SEI), into csd0 with four-byte start codes; other units
// are skipped.
DecoderConfigBlocks CollectHevcAnnexBParameterSets(const uint8_t* data, int64_t size);

}  // namespace streaming
