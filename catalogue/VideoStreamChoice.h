#pragma once

#include <cstdint>

struct AVFormatContext;

// The video stream a title shows: of the video streams whose width and height
// the probe found positive, the one with the largest width + height; on a tie
// the earlier stream. -1 when the file has no such stream. Nothing else of a
// stream enters the choice.
int32_t ChooseVideoStream(const AVFormatContext& format);
