#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "streaming/DecoderCodes.h"

using streaming::DecoderCode;

namespace {

struct Row {
    int32_t input;
    int32_t value;
    bool known;
};

constexpr bool kUnknown = false;

void ExpectTable(DecoderCode (*map)(int32_t), const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        const DecoderCode code = map(row.input);
        EXPECT_EQ(code.value, row.value) << "input " << row.input;
        EXPECT_EQ(code.known, row.known) << "input " << row.input;
    }
}

}  // namespace

TEST(DecoderCodesTest, H264ProfileMapsNamedProfilesAndCallsEverythingElseKnown) {
    ExpectTable(streaming::MapH264Profile, {{66, 1, true},
                                            {77, 2, true},
                                            {88, 4, true},
                                            {100, 8, true},
                                            {110, 16, true},
                                            {122, 32, true},
                                            {144, 64, true},
                                            {578, 65536, true},
                                            {-99, 524288, true},
                                            {INT_MIN, 524288, true},
                                            {-1, 524288, true},
                                            {0, 524288, true},
                                            {65, 524288, true},
                                            {67, 524288, true},
                                            {101, 524288, true},
                                            {244, 524288, true},
                                            {577, 524288, true},
                                            {579, 524288, true},
                                            {INT_MAX, 524288, true}});
}

TEST(DecoderCodesTest, H264LevelRangeBoundaries) {
    ExpectTable(
        streaming::MapH264Level,
        {{INT_MIN, 0, kUnknown}, {-99, 0, kUnknown}, {-1, 0, kUnknown},     {0, 0, kUnknown},
         {1, 2, true},           {10, 2, true},      {11, 4, true},         {12, 8, true},
         {13, 16, true},         {19, 16, true},     {20, 32, true},        {21, 64, true},
         {22, 128, true},        {29, 128, true},    {30, 256, true},       {31, 512, true},
         {32, 1024, true},       {39, 1024, true},   {40, 2048, true},      {41, 4096, true},
         {42, 8192, true},       {49, 8192, true},   {50, 16384, true},     {51, 32768, true},
         {52, 65536, true},      {62, 65536, true},  {INT_MAX, 65536, true}});
}

TEST(DecoderCodesTest, HevcProfileKnowsOnlyFourProfiles) {
    ExpectTable(streaming::MapHevcProfile, {{1, 1, true},
                                            {2, 2, true},
                                            {3, 4, true},
                                            {4, 4096, true},
                                            {-99, 0, kUnknown},
                                            {0, 0, kUnknown},
                                            {5, 0, kUnknown},
                                            {INT_MAX, 0, kUnknown}});
}

TEST(DecoderCodesTest, HevcMainTierLevelBoundaries) {
    ExpectTable(
        streaming::MapHevcLevel,
        {{INT_MIN, 0, kUnknown}, {-99, 0, kUnknown},  {-1, 0, kUnknown},    {0, 1, true},
         {9, 1, true},           {10, 4, true},       {11, 1, true},        {20, 1, true},
         {21, 16, true},         {29, 16, true},      {30, 64, true},       {31, 256, true},
         {39, 256, true},        {40, 1024, true},    {41, 4096, true},     {49, 4096, true},
         {50, 16384, true},      {51, 65536, true},   {52, 262144, true},   {59, 262144, true},
         {60, 1048576, true},    {61, 4194304, true}, {62, 16777216, true}, {99, 16777216, true}});
}

TEST(DecoderCodesTest, HevcHighTierLevelBoundaries) {
    ExpectTable(streaming::MapHevcLevel,
                {{100, 2, true},        {109, 2, true},           {110, 8, true},
                 {111, 2, true},        {120, 2, true},           {121, 32, true},
                 {129, 32, true},       {130, 128, true},         {131, 512, true},
                 {139, 512, true},      {140, 2048, true},        {141, 8192, true},
                 {149, 8192, true},     {150, 32768, true},       {151, 131072, true},
                 {152, 524288, true},   {153, 524288, true},      {159, 524288, true},
                 {160, 2097152, true},  {161, 8388608, true},     {162, 33554432, true},
                 {186, 33554432, true}, {INT_MAX, 33554432, true}});
}

TEST(DecoderCodesTest, Vp8LevelAndProfile) {
    ExpectTable(streaming::MapVp8Level, {{INT_MIN, 0, kUnknown},
                                         {-99, 0, kUnknown},
                                         {-1, 0, kUnknown},
                                         {0, 1, true},
                                         {1, 2, true},
                                         {2, 4, true},
                                         {3, 8, true},
                                         {4, 8, true},
                                         {INT_MAX, 8, true}});
    EXPECT_EQ(streaming::kVp8Profile, (DecoderCode{1, true}));
}

TEST(DecoderCodesTest, Vp9Profile) {
    ExpectTable(streaming::MapVp9Profile, {{INT_MIN, 0, kUnknown},
                                           {-99, 0, kUnknown},
                                           {-1, 0, kUnknown},
                                           {0, 1, true},
                                           {1, 2, true},
                                           {2, 4, true},
                                           {3, 8, true},
                                           {4, 4096, true},
                                           {5, 4096, true},
                                           {INT_MAX, 4096, true}});
}

TEST(DecoderCodesTest, Vp9LevelBoundaries) {
    ExpectTable(
        streaming::MapVp9Level,
        {{INT_MIN, 0, kUnknown}, {-99, 0, kUnknown}, {-1, 0, kUnknown}, {0, 1, true},
         {10, 1, true},          {11, 2, true},      {19, 2, true},     {20, 4, true},
         {21, 8, true},          {29, 8, true},      {30, 16, true},    {31, 32, true},
         {39, 32, true},         {40, 64, true},     {41, 128, true},   {49, 128, true},
         {50, 256, true},        {51, 512, true},    {52, 1024, true},  {59, 1024, true},
         {60, 2048, true},       {61, 4096, true},   {62, 8192, true},  {INT_MAX, 8192, true}});
}
