#pragma once

#include <cstdint>

struct AVFormatContext;

// The video stream a title shows: of the video streams whose width and height
// the probe found positive and that are not cover pictures
// (AV_DISPOSITION_ATTACHED_PIC), the one with the largest width + height; on
// a tie the earlier stream. -1 when the file has no such stream, so a file
// whose only pictures are covers has no video. Nothing else of a stream
// enters the choice. The catalogue, its thumbnail and the opening of a title
// all choose with this.
int32_t ChooseVideoStream(const AVFormatContext& format);
