#include "streaming/StreamPreparation.h"

#include "streaming/AnnexBFilter.h"
#include "streaming/AnnexBParameterSets.h"
#include "streaming/AvcConfigurationRecord.h"
#include "streaming/DecoderCodes.h"
#include "streaming/HevcConfigurationRecord.h"

#include <utility>

using streaming::DecoderCode;
using streaming::DecoderConfigBlocks;

namespace {

constexpr int32_t kDefaultFrameRate = 30;

// (num + den / 2) / den with both divisions truncating, computed wide so that
// no frame rate FFmpeg can report overflows.
int32_t RoundedFrameRate(AVRational rate) {
    if (rate.den <= 0)
        return kDefaultFrameRate;
    const int64_t num = rate.num;
    const int64_t den = rate.den;
    return static_cast<int32_t>((num + den / 2) / den);
}

void ApplyDecoderConfigBlocks(StreamPreparation& prep, DecoderConfigBlocks data) {
    prep.csd0 = std::move(data.csd0);
    prep.csd1 = std::move(data.csd1);
    prep.hasCsd0 = data.hasCsd0;
    prep.hasCsd1 = data.hasCsd1;
}

void ApplyProfile(StreamPreparation& prep, DecoderCode code) {
    prep.profile = code.value;
    prep.profileKnown = code.known;
}

void ApplyLevel(StreamPreparation& prep, DecoderCode code) {
    prep.level = code.value;
    prep.levelKnown = code.known;
}

// Extradata that is already Annex-B (MPEG-TS and other elementary-stream
// containers) is split into its units; reading it as a configuration record
// would hand the decoder arbitrary bytes as parameter sets.
template <typename Split, typename Extract>
DecoderConfigBlocks ConfigBlocks(const AVCodecParameters& parameters, Split split,
                                 Extract extract) {
    const uint8_t* data = parameters.extradata;
    const int64_t size = parameters.extradata_size;
    return streaming::IsAnnexBStream(data, size) ? split(data, size) : extract(data, size);
}

void PrepareH264(StreamPreparation& prep, AVStream& stream) {
    const AVCodecParameters& parameters = *stream.codecpar;
    ApplyDecoderConfigBlocks(prep,
                             ConfigBlocks(parameters, streaming::CollectAvcAnnexBParameterSets,
                                          streaming::ExtractAvcParameterSets));
    ApplyProfile(prep, streaming::MapH264Profile(parameters.profile));
    ApplyLevel(prep, streaming::MapH264Level(parameters.level));
    prep.h264Filter = streaming::OpenAnnexBFilter("h264_mp4toannexb", stream);
    prep.mimeType = "video/avc";
}

void PrepareHevc(StreamPreparation& prep, AVStream& stream) {
    const AVCodecParameters& parameters = *stream.codecpar;
    ApplyDecoderConfigBlocks(prep,
                             ConfigBlocks(parameters, streaming::CollectHevcAnnexBParameterSets,
                                          streaming::ExtractHevcParameterSets));
    ApplyProfile(prep, streaming::MapHevcProfile(parameters.profile));
    ApplyLevel(prep, streaming::MapHevcLevel(parameters.level));
    prep.hevcFilter = streaming::OpenAnnexBFilter("hevc_mp4toannexb", stream);
    prep.mimeType = "video/hevc";
}

void PrepareVp8(StreamPreparation& prep, const AVCodecParameters& parameters) {
    ApplyProfile(prep, streaming::kVp8Profile);
    ApplyLevel(prep, streaming::MapVp8Level(parameters.level));
    prep.mimeType = "video/x-vnd.on2.vp8";
}

void PrepareVp9(StreamPreparation& prep, const AVCodecParameters& parameters) {
    ApplyProfile(prep, streaming::MapVp9Profile(parameters.profile));
    ApplyLevel(prep, streaming::MapVp9Level(parameters.level));
    prep.mimeType = "video/x-vnd.on2.vp9";
}

}  // namespace

StreamPreparation::StreamPreparation() {
    Reset();
}

void StreamPreparation::Reset() {
    h264Filter.reset();
    hevcFilter.reset();
    formatContext = nullptr;
    mimeType.clear();
    csd0.clear();
    csd1.clear();
    profileKnown = levelKnown = spareFlagA = spareFlagB = hasCsd0 = hasCsd1 = false;
    profile = level = frameRate = 0;
    duration = 0;
    spareValueA = spareValueB = 0;
    videoStreamIndex = audioStreamIndex = subtitleStreamIndex = -1;
}

bool StreamPreparation::Prepare(int32_t streamIndex) {
    AVStream* stream = FindStream(streamIndex);
    if (stream == nullptr)
        return false;
    DiscardPreparation();

    profileKnown = true;
    levelKnown = true;
    switch (stream->codecpar->codec_id) {
        case AV_CODEC_ID_H264:
            PrepareH264(*this, *stream);
            break;
        case AV_CODEC_ID_HEVC:
            PrepareHevc(*this, *stream);
            break;
        case AV_CODEC_ID_VP8:
            PrepareVp8(*this, *stream->codecpar);
            break;
        case AV_CODEC_ID_VP9:
            PrepareVp9(*this, *stream->codecpar);
            break;
        default:
            return false;
    }
    videoStreamIndex = streamIndex;
    spareFlagA = false;
    spareFlagB = false;
    frameRate = RoundedFrameRate(stream->avg_frame_rate);
    duration = formatContext->duration;
    return true;
}

void StreamPreparation::PrepareStreams(AVFormatContext* context, int32_t video, int32_t audio,
                                       int32_t subtitle) {
    formatContext = context;
    (void)Prepare(video);
    videoStreamIndex = video;
    audioStreamIndex = audio;
    subtitleStreamIndex = subtitle;
}

uint32_t StreamPreparation::FlagBits() const {
    return (profileKnown ? 1u : 0u) | (levelKnown ? 2u : 0u) | (spareFlagA ? 4u : 0u) |
           (spareFlagB ? 8u : 0u) | (hasCsd0 ? 16u : 0u) | (hasCsd1 ? 32u : 0u);
}

AVStream* StreamPreparation::FindStream(int32_t streamIndex) const {
    if (formatContext == nullptr || streamIndex < 0)
        return nullptr;
    if (static_cast<uint32_t>(streamIndex) >= formatContext->nb_streams)
        return nullptr;
    AVStream* stream = formatContext->streams[streamIndex];
    if (stream == nullptr || stream->codecpar == nullptr)
        return nullptr;
    return stream;
}

// Prepare is meant for a freshly reset object, where this changes nothing.
// Called on one that was prepared before, it keeps an old filter from leaking
// or from filtering a stream of another codec.
void StreamPreparation::DiscardPreparation() {
    h264Filter.reset();
    hevcFilter.reset();
    mimeType.clear();
    csd0.clear();
    csd1.clear();
    profileKnown = levelKnown = hasCsd0 = hasCsd1 = false;
    profile = level = frameRate = 0;
    duration = 0;
    videoStreamIndex = -1;
}
