#pragma once

#include <cstdint>
#include <string>

#include "catalogue/SkipReason.h"

// Layout of a packaged movie file (.vrm/.vrw), all little-endian:
//   0  dataOffset, int32   data region starts at file offset 8 + dataOffset
//   4  headerSize, int32   length of the header block at offset 8
//   8  header block        kind int64, width int32, height int32,
//                          pixel byte count int32, pixels, opaque rest
//   8 + headerSize         recordCount int32, then recordCount records
//                          of PACKAGED_RECORD_SIZE bytes
constexpr int64_t PACKAGED_HEADER_OFFSET = 8;
constexpr int64_t PACKAGED_RECORD_SIZE = 24;
constexpr int32_t PACKAGED_MIN_DATA_OFFSET = 21;
constexpr int32_t PACKAGED_MAX_DATA_OFFSET = 0x0EFFFFFF;

// Reads the leading fields and the thumbnail of a packaged movie file: its
// entry, or why the file is not one. A picture larger than 4096 x 4096
// pixels makes a damaged file, and a read that fails a file that cannot be
// read. The header block is not kept: the opening reply reads it anew.
TitleOrReason ReadPackagedMovie(const std::wstring& path, const std::string& title);
