#include "catalogue/PackagedMovie.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "archive/bsFileRead.h"
#include "platform/Clock.h"

namespace {

// kind, width, height and pixel byte count precede the pixels.
constexpr int64_t kThumbnailFieldsSize = 20;
constexpr int64_t kPixelsOffset = PACKAGED_HEADER_OFFSET + kThumbnailFieldsSize;
// A picture larger than a 4096 x 4096 one is no thumbnail: the file is
// damaged. Without a bound, a sparse file would have the service hold
// gigabytes for a picture no headset could be sent.
constexpr int64_t kLargestThumbnailBytes = int64_t{4096} * 4096 * 4;

struct ThumbnailFields {
    int64_t kind = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t byteCount = 0;
};

bool IsValidDataOffset(int32_t dataOffset) {
    return dataOffset >= PACKAGED_MIN_DATA_OFFSET && dataOffset <= PACKAGED_MAX_DATA_OFFSET;
}

// A header size the file cannot hold would only drive a useless allocation.
bool HeaderFitsInFile(int32_t headerSize, uint64_t fileSize) {
    return headerSize >= 0 &&
           static_cast<uint64_t>(PACKAGED_HEADER_OFFSET) + static_cast<uint64_t>(headerSize) <=
               fileSize;
}

// The kind is checked before, on its own.
bool IsConsistentThumbnail(const ThumbnailFields& fields) {
    if (fields.width <= 0 || fields.height <= 0)
        return false;
    // Both factors are below 2^31, so the product fits in 64 bits.
    const int64_t pixels = int64_t{fields.width} * fields.height;
    return pixels <= std::numeric_limits<int32_t>::max() / 4 && pixels * 4 == fields.byteCount;
}

bool IsSaneThumbnailSize(int32_t byteCount) {
    return byteCount <= kLargestThumbnailBytes;
}

// Pixels that run past the end of the file are refused rather than padded,
// so that the allocation for them is bounded by the file's own size.
bool PixelsFitInFile(int32_t byteCount, uint64_t fileSize) {
    return static_cast<uint64_t>(kPixelsOffset) + static_cast<uint64_t>(byteCount) <= fileSize;
}

ThumbnailFields ReadThumbnailFields(bsFileRead& file) {
    ThumbnailFields fields;
    file.Serialize(fields.kind).Serialize(fields.width).Serialize(fields.height);
    file.Serialize(fields.byteCount);
    return fields;
}

// Reading is clamped to the file, so missing bytes stay zero.
std::vector<uint8_t> ReadBlock(bsFileRead& file, int32_t byteCount) {
    std::vector<uint8_t> block(static_cast<size_t>(byteCount), 0);
    file.SerializeBytes(block.data(), block.size());
    return block;
}

SkipReason ReadFailure(int error) {
    return {SkipKind::CannotRead, std::strerror(error)};
}

SkipReason OpenFailure(int error) {
    if (error == ENOENT)
        return {SkipKind::Missing, {}};
    return {SkipKind::CannotOpen, error != 0 ? std::strerror(error) : std::string()};
}

SkipReason OutOfRange(const char* field, const std::string& value) {
    return {SkipKind::FieldOutOfRange, std::string(field) + " " + value};
}

SkipReason OutOfRange(const char* field, int64_t value) {
    return OutOfRange(field, std::to_string(value));
}

std::string ThumbnailSizeText(const ThumbnailFields& fields) {
    return std::to_string(fields.width) + " x " + std::to_string(fields.height) + " in " +
           std::to_string(fields.byteCount) + " bytes";
}

}  // namespace

TitleOrReason ReadPackagedMovie(const std::wstring& path, const std::string& title) {
    errno = 0;
    bsFileRead file(path, L"rb");
    if (!file.IsOpen())
        return OpenFailure(errno);
    int32_t dataOffset = 0;
    int32_t headerSize = 0;
    file.Serialize(dataOffset).Serialize(headerSize);
    if (file.ReadError() != 0)
        return ReadFailure(file.ReadError());
    if (!IsValidDataOffset(dataOffset))
        return OutOfRange("dataOffset", dataOffset);
    if (!HeaderFitsInFile(headerSize, file.Size()))
        return OutOfRange("headerSize", headerSize);

    const ThumbnailFields fields = ReadThumbnailFields(file);
    if (file.ReadError() != 0)
        return ReadFailure(file.ReadError());
    if (fields.kind <= MEDIA_FILE_KIND)
        return OutOfRange("kind", fields.kind);
    if (!IsConsistentThumbnail(fields))
        return OutOfRange("thumbnail size", ThumbnailSizeText(fields));
    if (!IsSaneThumbnailSize(fields.byteCount))
        return OutOfRange("thumbnail size", ThumbnailSizeText(fields) + ", above " +
                                                std::to_string(kLargestThumbnailBytes));
    if (!PixelsFitInFile(fields.byteCount, file.Size()))
        return OutOfRange("thumbnail byte count", fields.byteCount);

    CatalogueEntry entry;
    entry.dataOffset = dataOffset;
    entry.headerSize = headerSize;
    entry.thumbnail = ReadBlock(file, fields.byteCount);
    entry.kind = fields.kind;
    entry.thumbWidth = fields.width;
    entry.thumbHeight = fields.height;
    entry.title = title;
    entry.path = path;
    entry.lastUsed = platform::TimeGetTime();

    // The header block is not kept: its opening reply reads it from the file.
    file.Seek(PACKAGED_HEADER_OFFSET + headerSize, 0);
    // A record table cut short by the end of the file is accepted; only a
    // count that cannot be a count is refused.
    int32_t recordCount = 0;
    file.Serialize(recordCount);
    if (file.ReadError() != 0)
        return ReadFailure(file.ReadError());
    if (recordCount < 0)
        return OutOfRange("recordCount", recordCount);
    entry.recordCount = recordCount;
    return entry;
}
