#pragma once

#include <cstdint>

#include "catalogue/CatalogueEntry.h"

struct AVFormatContext;
struct AVCodecContext;

constexpr int32_t THUMBNAIL_WIDTH = 300;
constexpr int32_t THUMBNAIL_HEIGHT = 150;
constexpr int32_t THUMBNAIL_ROW_BYTES = THUMBNAIL_WIDTH * 4;
constexpr int32_t THUMBNAIL_BYTES = THUMBNAIL_ROW_BYTES * THUMBNAIL_HEIGHT;

// Decodes the first picture from the middle of the chosen video stream and
// stores it, stretched to 300 x 150 BGRA, in `entry.thumbnail`, which must
// already hold THUMBNAIL_BYTES. Without a picture the thumbnail is left as it
// was. The format context and the opened decoder stay open.
void MakeThumbnail(AVFormatContext* formatContext, int streamIndex, AVCodecContext* decoderContext,
                   CatalogueEntry& entry);
