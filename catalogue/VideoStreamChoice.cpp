#include "catalogue/VideoStreamChoice.h"

#include "platform/FfmpegHandles.h"

namespace {

bool IsSizedVideo(const AVCodecParameters& parameters) {
    return parameters.codec_type == AVMEDIA_TYPE_VIDEO && parameters.width > 0 &&
           parameters.height > 0;
}

int64_t SizeSum(const AVCodecParameters& parameters) {
    return int64_t{parameters.width} + parameters.height;
}

}  // namespace

int32_t ChooseVideoStream(const AVFormatContext& format) {
    int32_t chosen = -1;
    int64_t chosenSum = 0;
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVCodecParameters* candidate = format.streams[i]->codecpar;
        if (candidate == nullptr || !IsSizedVideo(*candidate))
            continue;
        if (chosen < 0 || SizeSum(*candidate) > chosenSum) {
            chosen = static_cast<int32_t>(i);
            chosenSum = SizeSum(*candidate);
        }
    }
    return chosen;
}
