#include <gtest/gtest.h>

#include "ConfigurationRecords.h"
#include "streaming/AvcConfigurationRecord.h"

using streaming::DecoderConfigBlocks;
using streaming::ExtractAvcParameterSets;

namespace {

// Reads the first `count` bytes of `record` from a buffer of exactly that size.
DecoderConfigBlocks Extract(const Bytes& record, size_t count) {
    auto copy = ExactCopy(record, count);
    return ExtractAvcParameterSets(copy.get(), static_cast<int64_t>(count));
}

DecoderConfigBlocks Extract(const Bytes& record) {
    return Extract(record, record.size());
}

const Unit kSps = MakeUnit(0x67, 25);
const Unit kPps = MakeUnit(0x68, 4);

}  // namespace

TEST(AvcConfigurationRecordTest, OneSequenceAndOnePictureSetGiveBothBlocks) {
    const DecoderConfigBlocks data = Extract(AvcRecord({kSps}, {kPps}));
    EXPECT_EQ(data.csd0.size(), 29u);
    EXPECT_EQ(data.csd1.size(), 8u);
    EXPECT_EQ(data.csd0, WithStartCodes({kSps}));
    EXPECT_EQ(data.csd1, WithStartCodes({kPps}));
    EXPECT_TRUE(data.hasCsd0);
    EXPECT_TRUE(data.hasCsd1);
}

TEST(AvcConfigurationRecordTest, SeveralSetsKeepTheirOrderAndTheHighProfileTailIsIgnored) {
    const Unit sps2 = MakeUnit(0x67, 300, 7);
    const Unit pps2 = MakeUnit(0x68, 6, 9);
    const Unit pps3 = MakeUnit(0x68, 1);
    Bytes record = AvcRecord({kSps, sps2}, {kPps, pps2, pps3});
    record.insert(record.end(), {0xFD, 0xF8, 0xF8, 0x00});  // chroma format, bit depths
    const DecoderConfigBlocks data = Extract(record);
    EXPECT_EQ(data.csd0, WithStartCodes({kSps, sps2}));
    EXPECT_EQ(data.csd1, WithStartCodes({kPps, pps2, pps3}));
    EXPECT_TRUE(data.hasCsd0 && data.hasCsd1);
}

TEST(AvcConfigurationRecordTest, OnlyTheLowFiveBitsOfTheFifthByteCountSequenceSets) {
    Bytes record = AvcRecord({kSps}, {kPps});
    record[5] = 0x01;  // reserved bits clear
    EXPECT_EQ(Extract(record).csd0, WithStartCodes({kSps}));
    record[5] = 0x21;  // a reserved bit alone would make 33
    EXPECT_EQ(Extract(record).csd0, WithStartCodes({kSps}));
}

TEST(AvcConfigurationRecordTest, FirstLengthPastTheEndClearsBothFlags) {
    Bytes record = AvcRecord({kSps}, {kPps});
    record[6] = 0x01;  // 256 + 25 bytes announced, 34 follow
    const DecoderConfigBlocks data = Extract(record);
    EXPECT_FALSE(data.hasCsd0);
    EXPECT_FALSE(data.hasCsd1);
    EXPECT_TRUE(data.csd0.empty());
    EXPECT_TRUE(data.csd1.empty());
}

TEST(AvcConfigurationRecordTest, UnitsBeforeALaterDamagedUnitStayButFlagsAreFalse) {
    Bytes record = AvcRecord({kSps}, {kPps, MakeUnit(0x68, 4)});
    record.pop_back();  // the second picture set loses its last byte
    const DecoderConfigBlocks data = Extract(record);
    EXPECT_EQ(data.csd0, WithStartCodes({kSps}));
    EXPECT_EQ(data.csd1, WithStartCodes({kPps}));
    EXPECT_FALSE(data.hasCsd0);
    EXPECT_FALSE(data.hasCsd1);
}

TEST(AvcConfigurationRecordTest, WithoutSequenceSetsThePictureSetsFollowAndNothingAfterIsRead) {
    Bytes record = AvcRecord({}, {kPps});
    // Bytes that would add a unit if they were read as one more count.
    record.insert(record.end(), {0x01, 0x00, 0x02, 0x68, 0xAA});
    const DecoderConfigBlocks data = Extract(record);
    EXPECT_TRUE(data.csd0.empty());
    EXPECT_FALSE(data.hasCsd0);
    EXPECT_EQ(data.csd1, WithStartCodes({kPps}));
    EXPECT_TRUE(data.hasCsd1);
}

TEST(AvcConfigurationRecordTest, NoExtradataGivesNothing) {
    for (const int64_t size : {int64_t{0}, int64_t{-1}, int64_t{40}}) {
        const DecoderConfigBlocks data = ExtractAvcParameterSets(nullptr, size);
        EXPECT_TRUE(data.csd0.empty() && data.csd1.empty()) << size;
        EXPECT_FALSE(data.hasCsd0 || data.hasCsd1) << size;
    }
    const Bytes record = AvcRecord({kSps}, {kPps});
    const DecoderConfigBlocks data = ExtractAvcParameterSets(record.data(), -5);
    EXPECT_FALSE(data.hasCsd0 || data.hasCsd1);
}

// Record of 40 bytes: 6 header bytes, the sequence set (2 + 25), the picture
// set count, the picture set (2 + 4). Each prefix is read from a buffer of
// exactly its size.
TEST(AvcConfigurationRecordTest, EveryTruncationIsReadWithinBoundsAndEndsAsTheRulesSay) {
    const Bytes record = AvcRecord({kSps}, {kPps});
    ASSERT_EQ(record.size(), 40u);
    for (size_t size = 0; size <= record.size(); ++size) {
        SCOPED_TRACE(size);
        const DecoderConfigBlocks data = Extract(record, size);
        if (size <= 5) {
            // The count bytes lie beyond the end and read as 0.
            EXPECT_TRUE(data.csd0.empty() && data.csd1.empty());
            EXPECT_FALSE(data.hasCsd0 || data.hasCsd1);
        } else if (size <= 32) {
            EXPECT_TRUE(data.csd0.empty());
            EXPECT_FALSE(data.hasCsd0 || data.hasCsd1);
        } else if (size == 33) {
            // Complete sequence set; the missing picture set count reads as 0.
            EXPECT_EQ(data.csd0, WithStartCodes({kSps}));
            EXPECT_TRUE(data.hasCsd0);
            EXPECT_FALSE(data.hasCsd1);
        } else if (size < 40) {
            EXPECT_EQ(data.csd0, WithStartCodes({kSps}));
            EXPECT_TRUE(data.csd1.empty());
            EXPECT_FALSE(data.hasCsd0 || data.hasCsd1);
        } else {
            EXPECT_TRUE(data.hasCsd0 && data.hasCsd1);
        }
    }
}
