#pragma once

#include <cstdint>

namespace streaming {

// A profile or level in the headset decoder's numbering, and whether FFmpeg's
// value could be mapped onto it.
struct DecoderCode {
    int32_t value = 0;
    bool known = true;

    friend bool operator==(const DecoderCode&, const DecoderCode&) = default;
};

// Each takes the profile or level FFmpeg reports for the stream. The odd
// entries (an unknown H.264 profile that still counts as known, the HEVC
// levels 10 and 110 that differ from their neighbours) are what the headset
// has always been sent.
DecoderCode MapH264Profile(int32_t profile);
DecoderCode MapH264Level(int32_t level);
DecoderCode MapHevcProfile(int32_t profile);
DecoderCode MapHevcLevel(int32_t level);
DecoderCode MapVp8Level(int32_t level);
DecoderCode MapVp9Profile(int32_t profile);
DecoderCode MapVp9Level(int32_t level);

// VP8 has a single profile as far as the headset is concerned.
constexpr DecoderCode kVp8Profile{1, true};

}  // namespace streaming
