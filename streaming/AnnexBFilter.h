#pragma once

extern "C" {
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
}

namespace streaming {

// A ready bitstream filter `filterName` ("h264_mp4toannexb" or
// "hevc_mp4toannexb") set up for the packets of `stream`, or null when it
// cannot be created. The caller owns it and frees it with av_bsf_free.
AVBSFContext* OpenAnnexBFilter(const char* filterName, const AVStream& stream);

}  // namespace streaming
