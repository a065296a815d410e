#pragma once

#include "platform/FfmpegHandles.h"

namespace streaming {

// A ready bitstream filter `filterName` ("h264_mp4toannexb" or
// "hevc_mp4toannexb") set up for the packets of `stream`, or null when it
// cannot be created.
BsfContextPtr OpenAnnexBFilter(const char* filterName, const AVStream& stream);

}  // namespace streaming
