#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

// Hand-built decoder configuration records and Annex-B streams for tests.

using Unit = std::vector<uint8_t>;
using Bytes = std::vector<uint8_t>;

inline void AppendLengthPrefixed(Bytes& out, const Unit& unit) {
    out.push_back(static_cast<uint8_t>(unit.size() >> 8));
    out.push_back(static_cast<uint8_t>(unit.size() & 0xFF));
    out.insert(out.end(), unit.begin(), unit.end());
}

// An AVC configuration record: version 1, High profile, level 3.1, 4-byte
// lengths, then the sequence and picture parameter sets.
inline Bytes AvcRecord(const std::vector<Unit>& sequenceSets,
                       const std::vector<Unit>& pictureSets) {
    Bytes record{0x01, 0x64, 0x00, 0x1F, 0xFF, static_cast<uint8_t>(0xE0 | sequenceSets.size())};
    for (const Unit& unit : sequenceSets)
        AppendLengthPrefixed(record, unit);
    record.push_back(static_cast<uint8_t>(pictureSets.size()));
    for (const Unit& unit : pictureSets)
        AppendLengthPrefixed(record, unit);
    return record;
}

struct HevcArray {
    uint8_t type;
    std::vector<Unit> units;
};

// An HEVC configuration record: 22 header bytes (4-byte lengths), the array
// count and the arrays. The completeness bit is set on every array header.
inline Bytes HevcRecord(const std::vector<HevcArray>& arrays) {
    Bytes record(22, 0);
    record[0] = 0x01;
    record[1] = 0x01;   // Main profile
    record[12] = 0x5D;  // level 3.1
    record[21] = 0x0F;  // 4-byte lengths
    record.push_back(static_cast<uint8_t>(arrays.size()));
    for (const HevcArray& array : arrays) {
        record.push_back(static_cast<uint8_t>(0x80 | array.type));
        record.push_back(static_cast<uint8_t>(array.units.size() >> 8));
        record.push_back(static_cast<uint8_t>(array.units.size() & 0xFF));
        for (const Unit& unit : array.units)
            AppendLengthPrefixed(record, unit);
    }
    return record;
}

// A unit of `size` bytes with the given first byte and distinct later bytes.
inline Unit MakeUnit(uint8_t header, size_t size, uint8_t seed = 0) {
    Unit unit(size);
    if (size > 0)
        unit[0] = header;
    for (size_t i = 1; i < size; ++i)
        unit[i] = static_cast<uint8_t>(seed + 3 * i + 1);
    return unit;
}

// An HEVC unit of the given type: a two-byte header and `size` bytes in all.
inline Unit MakeHevcUnit(uint8_t type, size_t size, uint8_t seed = 0) {
    Unit unit = MakeUnit(static_cast<uint8_t>(type << 1), size, seed);
    if (size > 1)
        unit[1] = 0x01;
    return unit;
}

// 00 00 00 01 before each unit, concatenated.
inline Bytes WithStartCodes(std::initializer_list<Unit> units) {
    Bytes out;
    for (const Unit& unit : units) {
        out.insert(out.end(), {0, 0, 0, 1});
        out.insert(out.end(), unit.begin(), unit.end());
    }
    return out;
}

// A heap copy of the first `count` bytes and nothing more, so that
// AddressSanitizer reports a read one past them.
inline std::unique_ptr<uint8_t[]> ExactCopy(const Bytes& bytes, size_t count) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[count]);
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count), copy.get());
    return copy;
}
