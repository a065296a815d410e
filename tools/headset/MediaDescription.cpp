#include "tools/headset/MediaDescription.h"

#include <cinttypes>
#include <cstdio>
#include <utility>

extern "C" {
#include <libavutil/samplefmt.h>
}

#include "platform/CodecProfileNames.h"

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

// The decoder's numbering of profiles and levels: one bit per value. The
// server maps FFmpeg's values onto it; these go back from a code to what the
// decoder takes it for.
struct CodecNames {
    const char* mimeType;
    AVCodecID codec;
    // Decoder profile code and FFmpeg's profile value for the same profile.
    std::vector<std::pair<int32_t, int>> profiles;
    // Level names in the order of the code's bits, from bit 0.
    std::vector<std::string> levels;
};

std::vector<std::string> HevcLevels() {
    // Each level has a Main tier bit and, above it, a High tier bit.
    std::vector<std::string> names;
    for (const char* level :
         {"1", "2", "2.1", "3", "3.1", "4", "4.1", "5", "5.1", "5.2", "6", "6.1", "6.2"}) {
        names.push_back(std::string("Main tier ") + level);
        names.push_back(std::string("High tier ") + level);
    }
    return names;
}

const std::vector<CodecNames>& AllCodecNames() {
    static const std::vector<CodecNames> all = {
        {"video/avc",
         AV_CODEC_ID_H264,
         {{1, AV_PROFILE_H264_BASELINE},
          {2, AV_PROFILE_H264_MAIN},
          {4, AV_PROFILE_H264_EXTENDED},
          {8, AV_PROFILE_H264_HIGH},
          {16, AV_PROFILE_H264_HIGH_10},
          {32, AV_PROFILE_H264_HIGH_422},
          {64, AV_PROFILE_H264_HIGH_444},
          {65536, AV_PROFILE_H264_CONSTRAINED_BASELINE}},
         {"1",   "1b", "1.1", "1.2", "1.3", "2",   "2.1", "2.2", "3",   "3.1",
          "3.2", "4",  "4.1", "4.2", "5",   "5.1", "5.2", "6",   "6.1", "6.2"}},
        {"video/hevc",
         AV_CODEC_ID_HEVC,
         {{1, AV_PROFILE_HEVC_MAIN},
          {2, AV_PROFILE_HEVC_MAIN_10},
          {4, AV_PROFILE_HEVC_MAIN_STILL_PICTURE},
          {4096, AV_PROFILE_HEVC_REXT}},
         HevcLevels()},
        {"video/x-vnd.on2.vp8",
         AV_CODEC_ID_VP8,
         {},
         {"version 0", "version 1", "version 2", "version 3"}},
        {"video/x-vnd.on2.vp9",
         AV_CODEC_ID_VP9,
         {{1, AV_PROFILE_VP9_0},
          {2, AV_PROFILE_VP9_1},
          {4, AV_PROFILE_VP9_2},
          {8, AV_PROFILE_VP9_3}},
         {"1", "1.1", "2", "2.1", "3", "3.1", "4", "4.1", "5", "5.1", "5.2", "6", "6.1", "6.2"}},
    };
    return all;
}

const CodecNames* NamesFor(const std::string& mimeType) {
    for (const CodecNames& names : AllCodecNames()) {
        if (mimeType == names.mimeType)
            return &names;
    }
    return nullptr;
}

std::string CodecOfMime(const std::string& mimeType) {
    const CodecNames* names = NamesFor(mimeType);
    return names ? avcodec_get_name(names->codec) : mimeType;
}

// "8 (High)"; a code the decoder has no name for is left bare.
std::string ProfileText(const CodecNames* names, int32_t code) {
    std::string text = std::to_string(code);
    if (!names)
        return text;
    if (names->codec == AV_CODEC_ID_VP8 && code == 1)
        return text + " (Main)";  // VP8 has one profile, which FFmpeg leaves unnamed
    for (const auto& [decoderCode, profile] : names->profiles) {
        const char* name = avcodec_profile_name(names->codec, profile);
        if (decoderCode == code && name)
            return text + " (" + name + ")";
    }
    return text;
}

std::string LevelText(const CodecNames* names, int32_t code) {
    std::string text = std::to_string(code);
    if (!names || code <= 0 || (code & (code - 1)) != 0)
        return text;
    size_t bit = 0;
    while ((code >> bit) != 1)
        ++bit;
    return bit < names->levels.size() ? text + " (" + names->levels[bit] + ")" : text;
}

std::string VideoLine(const OpenedMedia& media) {
    if (media.videoIndex < 0)
        return "video: none";
    if (media.mimeType.empty())
        return Format("video: stream %d, %dx%d, not a codec the headset decodes", media.videoIndex,
                      media.width, media.height);
    const CodecNames* names = NamesFor(media.mimeType);
    const std::string profile =
        (media.flags & kProfileKnown) ? ProfileText(names, media.profile) : "unknown";
    const std::string level =
        (media.flags & kLevelKnown) ? LevelText(names, media.level) : "unknown";
    return Format(
        "video: stream %d, %dx%d, %s, profile %s, level %s, %d fps, csd-0 %zu bytes, "
        "csd-1 %zu bytes",
        media.videoIndex, media.width, media.height, media.mimeType.c_str(), profile.c_str(),
        level.c_str(), media.frameRate, media.csd0.size(), media.csd1.size());
}

std::string Channels(int32_t count) {
    return Format("%d channel%s", count, count == 1 ? "" : "s");
}

std::string AudioLine(const OpenedMedia& media) {
    if (media.audioIndex < 0)
        return "audio: none";
    return Format("audio: stream %d, %s, %d Hz, %s, %s, layout 0x%" PRIx64, media.audioIndex,
                  CodecName(media.audioCodec).c_str(), media.sampleRate,
                  Channels(media.channels).c_str(), SampleFormatName(media.sampleFormat).c_str(),
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

// The stream records number audio codecs as the headset does: one entry more
// than FFmpeg below the ones above this, which FFmpeg no longer has.
constexpr int32_t kHeadsetOnlyAudioCodec = 86048;

std::string RecordedAudioCodec(int32_t codecId) {
    if (codecId == kHeadsetOnlyAudioCodec)
        return "codec " + std::to_string(codecId);
    return CodecName(codecId > kHeadsetOnlyAudioCodec ? codecId - 1 : codecId);
}

std::string StreamText(const OpenedMedia& media, size_t index) {
    const StreamRecord& stream = media.streams[index];
    if (static_cast<int32_t>(index) == media.videoIndex) {
        const std::string codec =
            media.mimeType.empty() ? "not decodable" : CodecOfMime(media.mimeType);
        return Format("video %s %dx%d", codec.c_str(), media.width, media.height);
    }
    if (stream.kind == 1)
        return Format("audio %s %d Hz, %s", RecordedAudioCodec(stream.codecId).c_str(),
                      stream.sampleRate, Channels(stream.channels).c_str());
    if (stream.kind == 2)
        return "subtitle " + CodecName(stream.codecId);
    return "other";  // video not chosen, data, or unplayable audio: the record does not say
}

std::string StreamsLine(const OpenedMedia& media) {
    std::string line = Format("%d stream%s", media.streamCount, media.streamCount == 1 ? "" : "s");
    for (size_t i = 0; i < media.streams.size(); ++i)
        line += Format("%s stream %zu: %s", i == 0 ? ":" : ";", i, StreamText(media, i).c_str());
    return line;
}

}  // namespace

std::vector<std::string> DescribeMedia(const OpenedMedia& media) {
    return {StreamsLine(media), VideoLine(media), AudioLine(media), SubtitleLine(media),
            DurationLine(media)};
}

}  // namespace headset
