#pragma once

#include <cstdint>

#include "catalogue/CatalogueEntry.h"

struct AVFrame;
struct AVCodecParameters;

// Changes whenever the same decoded picture would give other thumbnail
// bytes, so that pictures kept from an earlier conversion are made again.
constexpr int THUMBNAIL_CONVERSION_VERSION = 2;

// Converts one decoded picture into the 300 x 150 BGRA thumbnail at
// `thumbnail` (THUMBNAIL_BYTES, rows of THUMBNAIL_ROW_BYTES), stretched
// whatever its aspect. Standard-range and untagged pictures are scaled as they
// are. HDR pictures (PQ, which covers HDR10 and the HDR10 base layer of Dolby
// Vision profile 8, and HLG) are made small first and then tone-mapped to
// BT.709, taking the mastering display and content light levels into account
// where the frame carries them. A picture whose HDR cannot be converted (Dolby
// Vision profile 5, or a failing filter) is scaled as it is. The frame's own
// colour properties count; where it leaves one unspecified, the stream's.
ThumbnailTone ConvertIntoThumbnail(const AVFrame& frame, const AVCodecParameters& stream,
                                   uint8_t* thumbnail);
