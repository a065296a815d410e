#include "tools/headset/MediaDescription.h"

#include <cinttypes>
#include <cstdio>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/samplefmt.h>
}

namespace headset {
namespace {

constexpr uint32_t kProfileKnown = 1u << 0;
constexpr uint32_t kLevelKnown = 1u << 1;

template <typename... Values>
std::string Format(const char* format, Values... values) {
    char text[512];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string CodecName(int32_t codecId) {
    return avcodec_get_name(static_cast<AVCodecID>(codecId));
}

std::string SampleFormatName(int32_t format) {
    const char* name = av_get_sample_fmt_name(static_cast<AVSampleFormat>(format));
    return name ? name : "format " + std::to_string(format);
}

std::string VideoLine(const OpenedMedia& media) {
    if (media.videoIndex < 0)
        return "video: none";
    if (media.mimeType.empty())
        return Format("video: stream %d, %dx%d, not a codec the headset decodes", media.videoIndex,
                      media.width, media.height);
    const std::string profile =
        (media.flags & kProfileKnown) ? std::to_string(media.profile) : "unknown";
    const std::string level = (media.flags & kLevelKnown) ? std::to_string(media.level) : "unknown";
    return Format(
        "video: stream %d, %dx%d, %s, profile %s, level %s, %d fps, csd-0 %zu bytes, "
        "csd-1 %zu bytes",
        media.videoIndex, media.width, media.height, media.mimeType.c_str(), profile.c_str(),
        level.c_str(), media.frameRate, media.csd0.size(), media.csd1.size());
}

std::string AudioLine(const OpenedMedia& media) {
    if (media.audioIndex < 0)
        return "audio: none";
    return Format("audio: stream %d, %s, %d Hz, %d channels, %s, layout 0x%" PRIx64,
                  media.audioIndex, CodecName(media.audioCodec).c_str(), media.sampleRate,
                  media.channels, SampleFormatName(media.sampleFormat).c_str(),
                  media.channelLayout);
}

std::string SubtitleLine(const OpenedMedia& media) {
    if (media.subtitleIndex < 0)
        return "subtitles: none";
    return Format("subtitles: stream %d, %s", media.subtitleIndex,
                  CodecName(media.subtitleCodec).c_str());
}

std::string DurationLine(const OpenedMedia& media) {
    if (media.duration < 0)
        return "duration: unknown";
    return Format("duration: %.3f s", static_cast<double>(media.duration) / 1e6);
}

std::string StreamsLine(const OpenedMedia& media) {
    std::string line = Format("streams: %d", media.streamCount);
    for (size_t i = 0; i < media.streams.size(); ++i) {
        const int32_t kind = media.streams[i].kind;
        const char* name = kind == 1 ? "audio" : kind == 2 ? "subtitle" : "other";
        if (static_cast<int32_t>(i) == media.videoIndex)
            name = "video";
        line += Format("%s%zu %s", i == 0 ? " (" : ", ", i, name);
    }
    return media.streams.empty() ? line : line + ")";
}

}  // namespace

std::vector<std::string> DescribeMedia(const OpenedMedia& media) {
    return {StreamsLine(media), VideoLine(media), AudioLine(media), SubtitleLine(media),
            DurationLine(media)};
}

}  // namespace headset
