#include <algorithm>
#include <cstdint>
#include <variant>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzTargets.h"
#include "catalogue/PackagedMovie.h"
#include "support/Bytes.h"
#include "support/TempDir.h"

namespace {

// A value of the file read the way the archives read it: bytes past the end
// of the file leave the preset zero.
int64_t ReadLittleEndian(const std::vector<uint8_t>& file, size_t offset, size_t width) {
    uint64_t value = 0;
    for (size_t i = 0; i < width && offset + i < file.size(); ++i)
        value |= uint64_t{file[offset + i]} << (8 * i);
    if (width == 4)
        return static_cast<int32_t>(static_cast<uint32_t>(value));
    return static_cast<int64_t>(value);
}

bool SameBytes(const std::vector<uint8_t>& block, const std::vector<uint8_t>& file, size_t offset) {
    return offset + block.size() <= file.size() &&
           std::equal(block.begin(), block.end(), file.begin() + static_cast<ptrdiff_t>(offset));
}

// An accepted file yields an entry that agrees with the file's own fields,
// holds its bytes and nothing from outside it.
void CheckEntry(const CatalogueEntry& entry, const std::vector<uint8_t>& file) {
    FUZZ_CHECK(entry.dataOffset == ReadLittleEndian(file, 0, 4));
    FUZZ_CHECK(entry.dataOffset >= PACKAGED_MIN_DATA_OFFSET);
    FUZZ_CHECK(entry.dataOffset <= PACKAGED_MAX_DATA_OFFSET);
    FUZZ_CHECK(entry.headerSize == ReadLittleEndian(file, 4, 4));

    FUZZ_CHECK(entry.kind == ReadLittleEndian(file, 8, 8) && entry.kind > MEDIA_FILE_KIND);
    FUZZ_CHECK(entry.thumbWidth == ReadLittleEndian(file, 16, 4) && entry.thumbWidth > 0);
    FUZZ_CHECK(entry.thumbHeight == ReadLittleEndian(file, 20, 4) && entry.thumbHeight > 0);
    FUZZ_CHECK(entry.thumbnail.size() == size_t{4} * static_cast<size_t>(entry.thumbWidth) *
                                             static_cast<size_t>(entry.thumbHeight));
    FUZZ_CHECK(SameBytes(entry.thumbnail, file, 28));

    const size_t recordCountOffset = PACKAGED_HEADER_OFFSET + static_cast<size_t>(entry.headerSize);
    FUZZ_CHECK(entry.recordCount == ReadLittleEndian(file, recordCountOffset, 4));
    FUZZ_CHECK(entry.recordCount >= 0);
}

}  // namespace

// Input: the bytes of a packaged movie file.
void FuzzPackagedMovie(const uint8_t* data, size_t size) {
    static const TempDir dir;
    static const std::filesystem::path path = dir.File("fuzz.vrm");
    const std::vector<uint8_t> file(data, data + size);
    WriteFileBytes(path, file);

    const TitleOrReason title = ReadPackagedMovie(path.wstring(), "fuzz.vrm");
    if (const CatalogueEntry* entry = std::get_if<CatalogueEntry>(&title))
        CheckEntry(*entry, file);
}
