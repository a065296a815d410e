#include "streaming/DecoderCodes.h"

#include <span>

namespace streaming {
namespace {

constexpr DecoderCode kUnknown{0, false};

// One row of a range table: inputs from `first` up to the next row's first
// value map to `code`.
struct RangeRow {
    int32_t first;
    int32_t code;
};

// `rows` are in ascending order of `first`; inputs below the first row are
// unknown.
DecoderCode LookUp(std::span<const RangeRow> rows, int32_t input) {
    DecoderCode result = kUnknown;
    for (const RangeRow& row : rows) {
        if (input < row.first)
            break;
        result = {row.code, true};
    }
    return result;
}

constexpr RangeRow kH264Levels[] = {
    {1, 2},     {11, 4},     {12, 8},     {13, 16},    {20, 32},   {21, 64},
    {22, 128},  {30, 256},   {31, 512},   {32, 1024},  {40, 2048}, {41, 4096},
    {42, 8192}, {50, 16384}, {51, 32768}, {52, 65536},
};

// Level 10 and 110 break the pattern of their ranges, so they have rows of
// their own followed by a row resuming the range.
constexpr RangeRow kHevcLevels[] = {
    {0, 1},        {10, 4},        {11, 1},        {21, 16},        {30, 64},     {31, 256},
    {40, 1024},    {41, 4096},     {50, 16384},    {51, 65536},     {52, 262144}, {60, 1048576},
    {61, 4194304}, {62, 16777216}, {100, 2},       {110, 8},        {111, 2},     {121, 32},
    {130, 128},    {131, 512},     {140, 2048},    {141, 8192},     {150, 32768}, {151, 131072},
    {152, 524288}, {160, 2097152}, {161, 8388608}, {162, 33554432},
};

constexpr RangeRow kVp8Levels[] = {{0, 1}, {1, 2}, {2, 4}, {3, 8}};

constexpr RangeRow kVp9Profiles[] = {{0, 1}, {1, 2}, {2, 4}, {3, 8}, {4, 4096}};

constexpr RangeRow kVp9Levels[] = {
    {0, 1},    {11, 2},   {20, 4},   {21, 8},    {30, 16},   {31, 32},   {40, 64},
    {41, 128}, {50, 256}, {51, 512}, {52, 1024}, {60, 2048}, {61, 4096}, {62, 8192},
};

}  // namespace

DecoderCode MapH264Profile(int32_t profile) {
    switch (profile) {
        case 66:
            return {1, true};
        case 77:
            return {2, true};
        case 88:
            return {4, true};
        case 100:
            return {8, true};
        case 110:
            return {16, true};
        case 122:
            return {32, true};
        case 144:
            return {64, true};
        case 578:
            return {65536, true};  // constrained baseline
        default:
            return {524288, true};
    }
}

DecoderCode MapH264Level(int32_t level) {
    // Level 0 and below are unknown; the first row starts at 1.
    return LookUp(kH264Levels, level);
}

DecoderCode MapHevcProfile(int32_t profile) {
    switch (profile) {
        case 1:
            return {1, true};
        case 2:
            return {2, true};
        case 3:
            return {4, true};
        case 4:
            return {4096, true};
        default:
            return kUnknown;
    }
}

DecoderCode MapHevcLevel(int32_t level) {
    return LookUp(kHevcLevels, level);
}

DecoderCode MapVp8Level(int32_t level) {
    return LookUp(kVp8Levels, level);
}

DecoderCode MapVp9Profile(int32_t profile) {
    return LookUp(kVp9Profiles, profile);
}

DecoderCode MapVp9Level(int32_t level) {
    return LookUp(kVp9Levels, level);
}

}  // namespace streaming
