#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "support/Bytes.h"

// Builds packaged movie files (.vrm/.vrw) for tests. The system itself only
// reads the format; this writer is independent of its archive code, so a
// fault in one does not hide a fault in the other. Fields left unset take the
// value a well-formed file would have.
struct PackagedMovieLayout {
    std::optional<int32_t> dataOffset;  // default: the data right after the records
    std::optional<int32_t> headerSize;  // default: 20 + pixel bytes + extra header
    int64_t kind = 100002;
    int32_t width = 4;
    int32_t height = 2;
    std::optional<int32_t> byteCount;            // default: width x height x 4
    std::optional<std::vector<uint8_t>> pixels;  // default: a pattern of byteCount bytes
    std::vector<uint8_t> extraHeader;            // opaque bytes after the pixels
    std::optional<int32_t> recordCount;          // default: records.size() / 24
    std::vector<uint8_t> records;
    std::vector<uint8_t> data;
};

template <typename T>
void AppendLittleEndian(std::vector<uint8_t>& bytes, T value) {
    for (size_t i = 0; i < sizeof(T); ++i) {
        bytes.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
    }
}

inline int32_t PixelBytes(const PackagedMovieLayout& layout) {
    if (layout.byteCount)
        return *layout.byteCount;
    return static_cast<int32_t>(int64_t{layout.width} * layout.height * 4);
}

inline std::vector<uint8_t> LayoutPixels(const PackagedMovieLayout& layout) {
    if (layout.pixels)
        return *layout.pixels;
    return PatternBytes(static_cast<size_t>(PixelBytes(layout)), 7);
}

// The header block as it lies at file offset 8.
inline std::vector<uint8_t> PackagedHeaderBlock(const PackagedMovieLayout& layout) {
    std::vector<uint8_t> block;
    AppendLittleEndian(block, layout.kind);
    AppendLittleEndian(block, layout.width);
    AppendLittleEndian(block, layout.height);
    AppendLittleEndian(block, PixelBytes(layout));
    const std::vector<uint8_t> pixels = LayoutPixels(layout);
    block.insert(block.end(), pixels.begin(), pixels.end());
    block.insert(block.end(), layout.extraHeader.begin(), layout.extraHeader.end());
    return block;
}

inline std::vector<uint8_t> PackagedMovieBytes(const PackagedMovieLayout& layout) {
    const std::vector<uint8_t> block = PackagedHeaderBlock(layout);
    const int32_t headerSize = layout.headerSize.value_or(static_cast<int32_t>(block.size()));
    const int32_t recordCount =
        layout.recordCount.value_or(static_cast<int32_t>(layout.records.size() / 24));
    const int32_t dataOffset =
        layout.dataOffset.value_or(static_cast<int32_t>(block.size() + 4 + layout.records.size()));

    std::vector<uint8_t> bytes;
    AppendLittleEndian(bytes, dataOffset);
    AppendLittleEndian(bytes, headerSize);
    bytes.insert(bytes.end(), block.begin(), block.end());
    AppendLittleEndian(bytes, recordCount);
    bytes.insert(bytes.end(), layout.records.begin(), layout.records.end());
    bytes.insert(bytes.end(), layout.data.begin(), layout.data.end());
    return bytes;
}
