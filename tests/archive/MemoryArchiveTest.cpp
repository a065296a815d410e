#include <gtest/gtest.h>

#include <cstring>

#include "archive/bsMemRead.h"
#include "archive/bsMemWrite.h"

namespace {

// One record, read and written by the same call sequence.
struct Record {
    int32_t code = 0;
    uint32_t flags = 0;
    int64_t offset = 0;
    uint64_t signature = 0;
    uint8_t byte = 0;
    uint16_t mark = 0;
    double ratio = 0;
    float gain = 0;
    int16_t small = 0;
    int8_t tiny = 0;
    bool flag = false;

    void Serialize(iArc& arc) {
        arc.Serialize(code).Serialize(flags).Serialize(offset).Serialize(signature);
        arc.Serialize(byte).Serialize(mark).Serialize(ratio).Serialize(gain);
        arc.Serialize(small).Serialize(tiny).Serialize(flag);
    }
};

std::vector<uint8_t> Written(int32_t value) {
    bsMemWrite writer;
    writer.Serialize(value);
    return writer.Buffer();
}

}  // namespace

TEST(MemoryArchive, SignedThirtyTwoIsLittleEndian) {
    EXPECT_EQ(Written(25601), (std::vector<uint8_t>{0x01, 0x64, 0x00, 0x00}));
    EXPECT_EQ(Written(-2), (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));

    std::vector<uint8_t> bytes = Written(25601);
    bsMemRead reader(bytes.data(), bytes.size());
    int32_t value = 0;
    reader.Serialize(value);
    EXPECT_EQ(value, 25601);
    EXPECT_TRUE(reader.IsEnd());
}

TEST(MemoryArchive, RecordRoundTripsThroughOneCallSequence) {
    Record out{33797, 0x80000001u, -5,  0x1122334455667788ull, 0xAB, 0xFEFF, 1.5, -2.25f,
               -300,  -7,          true};
    bsMemWrite writer;
    out.Serialize(writer);
    EXPECT_EQ(writer.Tell(), 4u + 4 + 8 + 8 + 1 + 2 + 8 + 4 + 2 + 1 + 1);
    EXPECT_EQ(writer.Buffer().size(), writer.Tell());

    bsMemRead reader(writer.Buffer().data(), writer.Buffer().size());
    Record in;
    in.Serialize(reader);
    EXPECT_EQ(std::memcmp(&in.code, &out.code, 4), 0);
    EXPECT_EQ(in.flags, out.flags);
    EXPECT_EQ(in.offset, out.offset);
    EXPECT_EQ(in.signature, out.signature);
    EXPECT_EQ(in.byte, out.byte);
    EXPECT_EQ(in.mark, out.mark);
    EXPECT_EQ(in.ratio, out.ratio);
    EXPECT_EQ(in.gain, out.gain);
    EXPECT_EQ(in.small, out.small);
    EXPECT_EQ(in.tiny, out.tiny);
    EXPECT_EQ(in.flag, out.flag);
    EXPECT_TRUE(reader.IsEnd());
    EXPECT_FALSE(reader.IsStoring());
    EXPECT_TRUE(writer.IsStoring());
}

TEST(MemoryArchive, ShortReadKeepsPresetHighBytes) {
    const uint8_t three[] = {0x10, 0x20, 0x30};
    bsMemRead reader(three, sizeof three);
    int32_t value = -1;
    reader.Serialize(value);
    EXPECT_EQ(static_cast<uint32_t>(value), 0xFF302010u);
    EXPECT_EQ(reader.Tell(), 3u);
    EXPECT_TRUE(reader.IsEnd());

    int32_t untouched = 1234;
    reader.Serialize(untouched);
    EXPECT_EQ(untouched, 1234);
}

TEST(MemoryArchive, ReaderKeepsItsOwnCopy) {
    std::vector<uint8_t> bytes{1, 2, 3, 4};
    bsMemRead reader(bytes.data(), bytes.size());
    bytes.assign(4, 0xEE);
    int32_t value = 0;
    reader.Serialize(value);
    EXPECT_EQ(value, 0x04030201);
}

TEST(MemoryArchive, SeekRules) {
    const std::vector<uint8_t> ten(10, 0);
    bsMemRead reader(ten.data(), ten.size());
    EXPECT_TRUE(reader.Seek(10, 0));
    EXPECT_EQ(reader.Tell(), 10u);
    EXPECT_TRUE(reader.Seek(11, 0));
    EXPECT_EQ(reader.Tell(), 10u);
    EXPECT_TRUE(reader.Seek(-4, 2));
    EXPECT_EQ(reader.Tell(), 6u);
    EXPECT_TRUE(reader.Seek(-7, 1));
    EXPECT_EQ(reader.Tell(), 6u);
    EXPECT_TRUE(reader.Seek(-6, 1));
    EXPECT_EQ(reader.Tell(), 0u);
    EXPECT_TRUE(reader.Seek(1, 3));
    EXPECT_EQ(reader.Tell(), 0u);
    EXPECT_TRUE(reader.Seek(INT64_MIN, 2));
    EXPECT_EQ(reader.Tell(), 0u);
}

TEST(MemoryArchive, WriterIgnoresEmptyTransfersAndGrowsExactly) {
    bsMemWrite writer;
    writer.SerializeBytes(nullptr, 16);
    uint8_t byte = 1;
    writer.SerializeBytes(&byte, 0);
    EXPECT_EQ(writer.Tell(), 0u);
    EXPECT_TRUE(writer.Buffer().empty());

    int32_t a = 1, b = 2;
    writer.Serialize(a).Serialize(b);
    EXPECT_EQ(writer.Buffer().size(), 8u);
    EXPECT_EQ(writer.Tell(), 8u);

    // The sender pads in place through the buffer accessor.
    writer.Buffer().resize(12, 0);
    EXPECT_EQ(writer.Buffer().size(), 12u);
}

TEST(MemoryArchive, ReaderIgnoresNullTarget) {
    const uint8_t bytes[] = {1, 2, 3};
    bsMemRead reader(bytes, sizeof bytes);
    reader.SerializeBytes(nullptr, 2);
    EXPECT_EQ(reader.Tell(), 0u);
}

TEST(MemoryArchive, ClassNames) {
    bsMemWrite writer;
    bsMemRead reader(nullptr, 0);
    EXPECT_EQ(writer.ClassName(), L"bsMemWrite");
    EXPECT_EQ(reader.ClassName(), L"bsMemRead");
    EXPECT_EQ(reader.Size(), 0u);
    EXPECT_TRUE(reader.IsEnd());
}
