#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

// What a file needs to describe a stream that the server only names: the
// server sends codec ids and parameters, but none of the set-up data some
// containers and decoders require, so it is made here where that is possible.
namespace headset {

// The codec a headset decoder would be configured for; NONE for an
// unknown MIME type.
AVCodecID VideoCodecForMimeType(const std::string& mimeType);

// Empty when an audio or subtitle stream of the codec can go into the
// format with what the server sends, else the reason.
std::string WhyCodecCannotBeWritten(AVCodecID codec, const AVOutputFormat* format);

// The layout of the bit mask, or the default one for the channel count when
// the mask is missing or disagrees with the count.
void SetChannelLayout(AVChannelLayout& layout, int channels, uint64_t mask);

// The decoder set-up an audio codec cannot do without, made from its
// parameters: an AAC AudioSpecificConfig (low complexity profile) or an
// Opus identification header. Empty for codecs that need none.
std::vector<uint8_t> AudioExtradata(AVCodecID codec, int sampleRate, int channels);

// AAC packets demultiplexed from transport streams keep their ADTS headers;
// Matroska wants the raw frames.
void StripAdtsHeader(const uint8_t*& data, size_t& size);

}  // namespace headset
