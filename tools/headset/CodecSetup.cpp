#include "tools/headset/CodecSetup.h"

#include <algorithm>
#include <array>
#include <bit>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace headset {
namespace {

// Codecs whose streams are unusable without headers the server does not send.
bool NeedsSetupHeaders(AVCodecID codec) {
    switch (codec) {
        case AV_CODEC_ID_VORBIS:
        case AV_CODEC_ID_FLAC:
        case AV_CODEC_ID_ALAC:
        case AV_CODEC_ID_WMAV1:
        case AV_CODEC_ID_WMAV2:
        case AV_CODEC_ID_WMAPRO:
        case AV_CODEC_ID_ASS:
        case AV_CODEC_ID_SSA:
            return true;
        default:
            return false;
    }
}

int AacSampleRateIndex(int sampleRate) {
    static constexpr std::array<int, 13> kRates = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                                   22050, 16000, 12000, 11025, 8000,  7350};
    const auto found = std::find(kRates.begin(), kRates.end(), sampleRate);
    return found == kRates.end() ? -1 : static_cast<int>(found - kRates.begin());
}

std::vector<uint8_t> AacAudioSpecificConfig(int sampleRate, int channels) {
    constexpr int kLowComplexity = 2;
    const int rateIndex = AacSampleRateIndex(sampleRate);
    if (rateIndex < 0 || channels < 1 || channels > 7)
        return {};
    const int bits = (kLowComplexity << 11) | (rateIndex << 7) | (channels << 3);
    return {static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits & 0xFF)};
}

std::vector<uint8_t> OpusIdentificationHeader(int sampleRate, int channels) {
    if (channels < 1 || channels > 2)
        return {};
    std::vector<uint8_t> header = {'O', 'p', 'u', 's', 'H',
                                   'e', 'a', 'd', 1,   static_cast<uint8_t>(channels)};
    header.insert(header.end(), {0, 0});  // pre-skip unknown
    for (int shift = 0; shift < 32; shift += 8)
        header.push_back(static_cast<uint8_t>((static_cast<uint32_t>(sampleRate) >> shift) & 0xFF));
    header.insert(header.end(), {0, 0, 0});  // no gain, mapping family 0
    return header;
}

}  // namespace

AVCodecID VideoCodecForMimeType(const std::string& mimeType) {
    if (mimeType == "video/avc")
        return AV_CODEC_ID_H264;
    if (mimeType == "video/hevc")
        return AV_CODEC_ID_HEVC;
    if (mimeType == "video/x-vnd.on2.vp8")
        return AV_CODEC_ID_VP8;
    if (mimeType == "video/x-vnd.on2.vp9")
        return AV_CODEC_ID_VP9;
    return AV_CODEC_ID_NONE;
}

std::string WhyCodecCannotBeWritten(AVCodecID codec, const AVOutputFormat* format) {
    if (codec == AV_CODEC_ID_NONE)
        return "the server names no codec";
    const std::string name = avcodec_get_name(codec);
    if (NeedsSetupHeaders(codec))
        return name + " needs set-up headers the server does not send";
    if (avformat_query_codec(format, codec, FF_COMPLIANCE_NORMAL) != 1)
        return name + " cannot go into a Matroska file";
    return {};
}

void SetChannelLayout(AVChannelLayout& layout, int channels, uint64_t mask) {
    av_channel_layout_uninit(&layout);
    if (mask != 0 && std::popcount(mask) == channels &&
        av_channel_layout_from_mask(&layout, mask) == 0)
        return;
    av_channel_layout_default(&layout, channels);
}

std::vector<uint8_t> AudioExtradata(AVCodecID codec, int sampleRate, int channels) {
    if (codec == AV_CODEC_ID_AAC)
        return AacAudioSpecificConfig(sampleRate, channels);
    if (codec == AV_CODEC_ID_OPUS)
        return OpusIdentificationHeader(sampleRate, channels);
    return {};
}

void StripAdtsHeader(const uint8_t*& data, size_t& size) {
    constexpr size_t kShortHeader = 7;
    if (size < kShortHeader || data[0] != 0xFF || (data[1] & 0xF6) != 0xF0)
        return;
    const bool hasChecksum = (data[1] & 0x01) == 0;
    const size_t header = hasChecksum ? kShortHeader + 2 : kShortHeader;
    if (size < header)
        return;
    data += header;
    size -= header;
}

}  // namespace headset
