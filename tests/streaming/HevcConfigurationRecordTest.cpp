#include <gtest/gtest.h>

#include "ConfigurationRecords.h"
#include "streaming/HevcConfigurationRecord.h"

using streaming::DecoderConfigBlocks;
using streaming::ExtractHevcParameterSets;

namespace {

DecoderConfigBlocks Extract(const Bytes& record, size_t count) {
    auto copy = ExactCopy(record, count);
    return ExtractHevcParameterSets(copy.get(), static_cast<int64_t>(count));
}

DecoderConfigBlocks Extract(const Bytes& record) {
    return Extract(record, record.size());
}

void ExpectNothing(const DecoderConfigBlocks& data) {
    EXPECT_TRUE(data.csd0.empty());
    EXPECT_TRUE(data.csd1.empty());
    EXPECT_FALSE(data.hasCsd0);
    EXPECT_FALSE(data.hasCsd1);
}

const Unit kVps = MakeHevcUnit(32, 24);
const Unit kSps = MakeHevcUnit(33, 40, 5);
const Unit kPps = MakeHevcUnit(34, 7, 9);

}  // namespace

TEST(HevcConfigurationRecordTest, ParameterSetArraysGiveThreeStartCodesInCsd0) {
    const DecoderConfigBlocks data =
        Extract(HevcRecord({{32, {kVps}}, {33, {kSps}}, {34, {kPps}}}));
    EXPECT_EQ(data.csd0, WithStartCodes({kVps, kSps, kPps}));
    EXPECT_TRUE(data.hasCsd0);
    EXPECT_TRUE(data.csd1.empty());
    EXPECT_FALSE(data.hasCsd1);
}

TEST(HevcConfigurationRecordTest, SeiArraysAndSeveralUnitsPerArrayAreKeptInRecordOrder) {
    const Unit prefixSei = MakeHevcUnit(39, 30, 1);
    const Unit suffixSei = MakeHevcUnit(40, 3, 2);
    const Unit sps2 = MakeHevcUnit(33, 12, 3);
    const DecoderConfigBlocks data = Extract(HevcRecord(
        {{32, {kVps}}, {33, {kSps, sps2}}, {34, {kPps}}, {39, {prefixSei}}, {40, {suffixSei}}}));
    EXPECT_EQ(data.csd0, WithStartCodes({kVps, kSps, sps2, kPps, prefixSei, suffixSei}));
    EXPECT_TRUE(data.hasCsd0);
}

TEST(HevcConfigurationRecordTest, AnyOtherUnitTypeGivesNothingAtAll) {
    for (const uint8_t type : {35, 0, 19, 31, 36, 41, 63}) {
        SCOPED_TRACE(static_cast<int>(type));
        ExpectNothing(Extract(HevcRecord({{32, {kVps}}, {33, {kSps}}, {34, {kPps}}, {type, {}}})));
    }
}

TEST(HevcConfigurationRecordTest, OnlyTheLowSixBitsOfTheArrayHeaderAreTheType) {
    Bytes record = HevcRecord({{32, {kVps}}});
    record[23] = 0x40 | 32;  // reserved bit set, completeness bit clear
    EXPECT_EQ(Extract(record).csd0, WithStartCodes({kVps}));
}

TEST(HevcConfigurationRecordTest, RecordsWithoutUnitsGiveNothing) {
    ExpectNothing(ExtractHevcParameterSets(nullptr, 0));
    ExpectNothing(ExtractHevcParameterSets(nullptr, 100));
    const Bytes record = HevcRecord({{32, {kVps}}});
    ExpectNothing(ExtractHevcParameterSets(record.data(), 0));
    ExpectNothing(ExtractHevcParameterSets(record.data(), -1));
    ExpectNothing(Extract(HevcRecord({})));                    // 23 bytes, no array
    ExpectNothing(Extract(HevcRecord({{32, {}}, {33, {}}})));  // arrays without units
}

TEST(HevcConfigurationRecordTest, ARecordUnder23BytesGivesNothing) {
    const Bytes record(22, 0x01);
    for (size_t size = 1; size <= record.size(); ++size)
        ExpectNothing(Extract(record, size));
}

// All or nothing: every prefix that cuts into the arrays is refused, and each
// is read from a buffer of exactly its size.
TEST(HevcConfigurationRecordTest, EveryTruncationGivesNothing) {
    const Bytes record = HevcRecord({{32, {kVps}}, {33, {kSps, kSps}}, {34, {kPps}}});
    for (size_t size = 0; size < record.size(); ++size) {
        SCOPED_TRACE(size);
        ExpectNothing(Extract(record, size));
    }
    EXPECT_TRUE(Extract(record).hasCsd0);
}

TEST(HevcConfigurationRecordTest, ALengthPastTheEndGivesNothingAndBytesAfterTheArraysAreIgnored) {
    Bytes record = HevcRecord({{32, {kVps}}, {34, {kPps}}});
    Bytes trailing = record;
    trailing.insert(trailing.end(), {0x21, 0x00, 0x01, 0x00, 0x05});
    EXPECT_EQ(Extract(trailing).csd0, WithStartCodes({kVps, kPps}));

    record[26] = 0x00;
    record[27] = 0xFF;  // the video parameter set claims 255 bytes
    ExpectNothing(Extract(record));
}
