#include <gtest/gtest.h>

#include "ConfigurationRecords.h"
#include "streaming/AnnexBParameterSets.h"

using streaming::DecoderConfigBlocks;

namespace {

bool IsAnnexB(const Bytes& bytes) {
    auto copy = ExactCopy(bytes, bytes.size());
    return streaming::IsAnnexBStream(copy.get(), static_cast<int64_t>(bytes.size()));
}

template <typename Collect>
DecoderConfigBlocks CollectExact(Collect collect, const Bytes& stream) {
    auto copy = ExactCopy(stream, stream.size());
    return collect(copy.get(), static_cast<int64_t>(stream.size()));
}

void Append(Bytes& out, std::initializer_list<uint8_t> startCode, const Unit& unit) {
    out.insert(out.end(), startCode);
    out.insert(out.end(), unit.begin(), unit.end());
}

}  // namespace

TEST(AnnexBParameterSetsTest, OnlyAStartCodeAtTheFrontMarksAnAnnexBStream) {
    EXPECT_TRUE(IsAnnexB({0, 0, 1, 0x67}));
    EXPECT_TRUE(IsAnnexB({0, 0, 0, 1, 0x67}));
    EXPECT_TRUE(IsAnnexB({0, 0, 1}));
    EXPECT_FALSE(IsAnnexB(AvcRecord({MakeUnit(0x67, 10)}, {MakeUnit(0x68, 4)})));
    EXPECT_FALSE(IsAnnexB({0, 0, 0, 0, 1}));
    EXPECT_FALSE(IsAnnexB({0, 0, 2, 0x67}));
    EXPECT_FALSE(IsAnnexB({0, 0}));
    EXPECT_FALSE(IsAnnexB({0, 0, 0}));
    EXPECT_FALSE(IsAnnexB({}));
    EXPECT_FALSE(streaming::IsAnnexBStream(nullptr, 4));
}

TEST(AnnexBParameterSetsTest, AvcSetsAreSortedIntoTheirBlocksWithFourByteStartCodes) {
    const Unit delimiter = MakeUnit(0x09, 2);
    const Unit sps = MakeUnit(0x67, 20);
    const Unit pps = MakeUnit(0x68, 5);
    const Unit sei = MakeUnit(0x06, 9);
    const Unit sps2 = MakeUnit(0x27, 11, 4);  // nal_ref_idc 1
    Bytes stream;
    Append(stream, {0, 0, 0, 1}, delimiter);
    Append(stream, {0, 0, 1}, sps);
    Append(stream, {0, 0, 0, 1}, pps);
    stream.insert(stream.end(), {0, 0});  // trailing zero bytes
    Append(stream, {0, 0, 1}, sei);
    Append(stream, {0, 0, 1}, sps2);

    const DecoderConfigBlocks data = CollectExact(streaming::CollectAvcAnnexBParameterSets, stream);
    EXPECT_EQ(data.csd0, WithStartCodes({sps, sps2}));
    EXPECT_EQ(data.csd1, WithStartCodes({pps}));
    EXPECT_TRUE(data.hasCsd0 && data.hasCsd1);
}

TEST(AnnexBParameterSetsTest, HevcKeepsParameterSetsAndSeiAndSkipsOtherUnits) {
    const Unit vps = MakeHevcUnit(32, 20);
    const Unit delimiter = MakeHevcUnit(35, 3);
    const Unit sps = MakeHevcUnit(33, 30, 1);
    const Unit pps = MakeHevcUnit(34, 6, 2);
    const Unit sei = MakeHevcUnit(39, 10, 3);
    Bytes stream;
    for (const Unit* unit : {&delimiter, &vps, &sps, &pps, &sei})
        Append(stream, {0, 0, 0, 1}, *unit);

    const DecoderConfigBlocks data =
        CollectExact(streaming::CollectHevcAnnexBParameterSets, stream);
    EXPECT_EQ(data.csd0, WithStartCodes({vps, sps, pps, sei}));
    EXPECT_TRUE(data.hasCsd0);
    EXPECT_TRUE(data.csd1.empty());
    EXPECT_FALSE(data.hasCsd1);
}

TEST(AnnexBParameterSetsTest, StreamsWithoutParameterSetsGiveNothing) {
    for (const Bytes& stream : {Bytes{}, Bytes{0, 0, 1}, Bytes{0, 0, 0, 1, 0, 0, 0, 1},
                                Bytes{0, 0, 1, 0x65, 0x88}, Bytes{0x67, 0x42, 0x00}}) {
        const DecoderConfigBlocks avc =
            CollectExact(streaming::CollectAvcAnnexBParameterSets, stream);
        EXPECT_FALSE(avc.hasCsd0 || avc.hasCsd1);
        EXPECT_TRUE(avc.csd0.empty() && avc.csd1.empty());
        const DecoderConfigBlocks hevc =
            CollectExact(streaming::CollectHevcAnnexBParameterSets, stream);
        EXPECT_FALSE(hevc.hasCsd0 || hevc.hasCsd1);
    }
}
