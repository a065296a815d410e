#include "catalogue/VideoStreamChoice.h"

#include "platform/FfmpegHandles.h"

namespace {

bool IsSizedVideo(const AVCodecParameters& parameters) {
    return parameters.codec_type == AVMEDIA_TYPE_VIDEO && parameters.width > 0 &&
           parameters.height > 0;
}

// Tagging tools add a cover picture (MP4's covr atom, a Matroska image
// attachment) that FFmpeg shows as a one-picture video stream. It is not the
// movie, however large it is.
bool IsCoverPicture(const AVStream& stream) {
    return (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
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
        if (candidate == nullptr || !IsSizedVideo(*candidate) || IsCoverPicture(*format.streams[i]))
            continue;
        if (chosen < 0 || SizeSum(*candidate) > chosenSum) {
            chosen = static_cast<int32_t>(i);
            chosenSum = SizeSum(*candidate);
        }
    }
    return chosen;
}
