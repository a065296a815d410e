#pragma once

#include <cstdint>

namespace streaming {

// HEVC NAL unit types that configure a decoder before the first picture.
constexpr uint8_t kHevcVideoParameterSet = 32;
constexpr uint8_t kHevcSequenceParameterSet = 33;
constexpr uint8_t kHevcPictureParameterSet = 34;
constexpr uint8_t kHevcPrefixSei = 39;
constexpr uint8_t kHevcSuffixSei = 40;

// True for the unit types that may go into the headset's csd-0.
constexpr bool IsConfigurationUnitType(uint8_t type) {
    return type == kHevcVideoParameterSet || type == kHevcSequenceParameterSet ||
           type == kHevcPictureParameterSet || type == kHevcPrefixSei || type == kHevcSuffixSei;
}

}  // namespace streaming
