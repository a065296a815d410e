#pragma once

#include <cstdint>

#include "catalogue/CatalogueEntry.h"

struct AVFormatContext;
struct AVCodecContext;

constexpr int32_t THUMBNAIL_WIDTH = 300;
constexpr int32_t THUMBNAIL_HEIGHT = 150;
constexpr int32_t THUMBNAIL_ROW_BYTES = THUMBNAIL_WIDTH * 4;
constexpr int32_t THUMBNAIL_BYTES = THUMBNAIL_ROW_BYTES * THUMBNAIL_HEIGHT;

// How much of the file one look for the picture reads after its seek before
// it gives up, so that a file whose video never decodes cannot hold up the
// service's start: a few seconds of a large movie's packets, and bytes for
// any 8K key frame.
struct ThumbnailReadLimit {
    int packets = 4096;
    int64_t bytes = int64_t{64} << 20;
};

// Whether the key packet alone holds its whole picture, so that the
// decoder is drained right after it (and its picture buffers can be shared,
// FramePool::Title::Serve).
bool KeyPacketMakesAPicture(const AVCodecContext& decoder);

// Decodes the first picture from the middle of the chosen video stream and
// stores it, stretched to 300 x 150 BGRA, in `entry.thumbnail`, which must
// already hold THUMBNAIL_BYTES. The first look seeks to the first key frame at
// or after the middle; when that yields no picture, the second seeks back to
// the key frame before the middle. Each look reads within `limit`. Without a
// picture the thumbnail is left as it was. The format context and the opened
// decoder stay open. Returns the number of packets read, for the curious.
int MakeThumbnail(AVFormatContext* formatContext, int streamIndex, AVCodecContext* decoderContext,
                  CatalogueEntry& entry, const ThumbnailReadLimit& limit = {});
