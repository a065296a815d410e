#include "catalogue/TitleCache.h"

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/crc.h>
}

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "archive/bsMemRead.h"
#include "archive/bsMemWrite.h"
#include "catalogue/ThumbnailConversion.h"
#include "platform/Clock.h"
#include "platform/PathBytes.h"
#include "platform/ProgramVersion.h"
#include "platform/WholeFile.h"

namespace {

constexpr uint64_t kMagic = 0x4F44554E49544954;  // "TITINUDO", little-endian
// 2: the thumbnail says whether it was tone-mapped.
constexpr uint32_t kFormat = 2;
constexpr size_t kCheckBytes = 4;
// No entry of an ordinary media file comes near this.
constexpr uint64_t kLargestEntryFile = uint64_t{16} << 20;

// Everything an entry file holds but its check sum: the key, then the entry
// as a fresh read makes it, less the path, which is the key's, and the time
// it was last used, which is the reader's.
struct EntryRecord {
    uint64_t magic = 0;
    uint32_t format = 0;
    std::string version;
    std::string pathBytes;
    uint64_t size = 0;
    int64_t modifiedNanoseconds = 0;
    uint64_t device = 0;
    uint64_t inode = 0;
    CatalogueEntry entry;
};

// A count, then that many bytes. Reading takes no count beyond the record's
// own size, so a damaged count cannot ask for a huge allocation.
template <typename Bytes>
void SerializeBytes(iArc& arc, Bytes& bytes, uint64_t recordBytes) {
    uint32_t count = static_cast<uint32_t>(bytes.size());
    arc.Serialize(count);
    if (!arc.IsStoring())
        bytes.resize(count <= recordBytes ? count : 0);
    arc.SerializeBytes(bytes.data(), bytes.size());
}

// A value outside the enumeration reads as the default.
void SerializeTone(iArc& arc, ThumbnailTone& tone) {
    uint8_t value = static_cast<uint8_t>(tone);
    arc.Serialize(value);
    if (!arc.IsStoring()) {
        tone = value <= static_cast<uint8_t>(ThumbnailTone::NotToneMapped)
                   ? static_cast<ThumbnailTone>(value)
                   : ThumbnailTone::AsDecoded;
    }
}

// One call sequence writes the record and reads it back.
void Serialize(iArc& arc, EntryRecord& record, uint64_t recordBytes) {
    CatalogueEntry& entry = record.entry;
    arc.Serialize(record.magic).Serialize(record.format);
    SerializeBytes(arc, record.version, recordBytes);
    SerializeBytes(arc, record.pathBytes, recordBytes);
    arc.Serialize(record.size).Serialize(record.modifiedNanoseconds);
    arc.Serialize(record.device).Serialize(record.inode);
    arc.Serialize(entry.kind);
    SerializeBytes(arc, entry.title, recordBytes);
    SerializeBytes(arc, entry.mediaPath, recordBytes);
    arc.Serialize(entry.thumbWidth).Serialize(entry.thumbHeight);
    arc.Serialize(entry.dataOffset).Serialize(entry.headerSize).Serialize(entry.recordCount);
    SerializeBytes(arc, entry.thumbnail, recordBytes);
    // Once a copy of a packaged movie's header block, which entries no longer
    // keep; ordinary media files, the only ones kept here, had none.
    std::vector<uint8_t> noHeader;
    SerializeBytes(arc, noHeader, recordBytes);
    if (!noHeader.empty())
        entry.headerSize = -1;  // refused by IsWholeEntry
    SerializeTone(arc, entry.thumbnailTone);
}

uint32_t CheckSum(const uint8_t* bytes, size_t count) {
    return av_crc(av_crc_get_table(AV_CRC_32_IEEE), 0, bytes, count);
}

EntryRecord KeyFor(const std::string& version, const std::string& pathBytes,
                   const platform::PathStatus& file) {
    EntryRecord record;
    record.magic = kMagic;
    record.format = kFormat;
    record.version = version;
    record.pathBytes = pathBytes;
    record.size = file.size;
    record.modifiedNanoseconds = file.modifiedNanoseconds;
    record.device = file.identity.device;
    record.inode = file.identity.inode;
    return record;
}

bool SameKey(const EntryRecord& a, const EntryRecord& b) {
    return a.magic == b.magic && a.format == b.format && a.version == b.version &&
           a.pathBytes == b.pathBytes && a.size == b.size &&
           a.modifiedNanoseconds == b.modifiedNanoseconds && a.device == b.device &&
           a.inode == b.inode;
}

bool IsWholeEntry(const CatalogueEntry& entry) {
    return entry.thumbWidth >= 0 && entry.thumbHeight >= 0 &&
           entry.thumbnail.size() == uint64_t{4} * static_cast<uint32_t>(entry.thumbWidth) *
                                         static_cast<uint32_t>(entry.thumbHeight) &&
           entry.headerSize == 0;
}

// The record in `bytes` when its check sum holds and it was read to its end.
std::optional<EntryRecord> ParseRecord(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < kCheckBytes)
        return std::nullopt;
    const size_t recordBytes = bytes.size() - kCheckBytes;
    uint32_t stored = 0;
    bsMemRead(bytes.data() + recordBytes, kCheckBytes).Serialize(stored);
    if (stored != CheckSum(bytes.data(), recordBytes))
        return std::nullopt;
    bsMemRead reader(bytes.data(), recordBytes);
    EntryRecord record;
    Serialize(reader, record, recordBytes);
    if (reader.Tell() != recordBytes || !IsWholeEntry(record.entry))
        return std::nullopt;
    return record;
}

std::vector<uint8_t> RecordBytes(EntryRecord& record) {
    bsMemWrite writer;
    Serialize(writer, record, 0);
    std::vector<uint8_t> bytes = std::move(writer.Buffer());
    uint32_t sum = CheckSum(bytes.data(), bytes.size());
    bsMemWrite check;
    check.Serialize(sum);
    bytes.insert(bytes.end(), check.Buffer().begin(), check.Buffer().end());
    return bytes;
}

// The FNV-1a hash of the path's bytes, which names its entry file.
uint64_t PathHash(const std::string& pathBytes) {
    uint64_t hash = 0xCBF29CE484222325;
    for (const char byte : pathBytes) {
        hash ^= static_cast<uint8_t>(byte);
        hash *= 0x100000001B3;
    }
    return hash;
}

constexpr std::string_view kEntrySuffix = ".entry";
constexpr size_t kHashDigits = 16;

// "0123456789abcdef.entry": a name EntryFile makes. Nothing else in the
// folder is the cache's to remove.
bool IsEntryName(std::string_view name) {
    return name.size() == kHashDigits + kEntrySuffix.size() && name.ends_with(kEntrySuffix) &&
           std::all_of(name.begin(), name.begin() + kHashDigits,
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace

TitleCache::TitleCache(std::filesystem::path directory, std::string version, uint64_t bound)
    : directory_(std::move(directory)), version_(std::move(version)), bound_(bound) {}

std::string TitleCache::CurrentVersion() {
    return std::string("OnduLofrin ") + kProgramVersion + ", FFmpeg " + av_version_info() +
           ", thumbnails " + std::to_string(THUMBNAIL_CONVERSION_VERSION);
}

std::filesystem::path TitleCache::EntryFile(const std::string& pathBytes) const {
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.entry",
                  static_cast<unsigned long long>(PathHash(pathBytes)));
    return directory_ / name;
}

std::optional<CatalogueEntry> TitleCache::Find(const std::wstring& path,
                                               const platform::PathStatus& file) const {
    if (file.kind != platform::PathKind::File)
        return std::nullopt;
    const std::string pathBytes = platform::PathToOsBytes(path);
    const std::filesystem::path entryFile = EntryFile(pathBytes);
    const auto bytes = platform::ReadWholeFile(entryFile.native(), kLargestEntryFile);
    if (!bytes)
        return std::nullopt;
    std::optional<EntryRecord> record = ParseRecord(*bytes);
    if (!record || !SameKey(*record, KeyFor(version_, pathBytes, file)))
        return std::nullopt;
    // Its time of modification is its time of last use, for Trim.
    std::error_code ignored;
    std::filesystem::last_write_time(entryFile, std::filesystem::file_time_type::clock::now(),
                                     ignored);
    CatalogueEntry entry = std::move(record->entry);
    entry.path = path;
    entry.lastUsed = platform::TimeGetTime();
    return entry;
}

void TitleCache::Keep(const std::wstring& path, const platform::PathStatus& file,
                      const CatalogueEntry& entry) const {
    if (file.kind != platform::PathKind::File)
        return;
    const std::string pathBytes = platform::PathToOsBytes(path);
    EntryRecord record = KeyFor(version_, pathBytes, file);
    record.entry = entry;
    const std::vector<uint8_t> bytes = RecordBytes(record);
    if (bytes.size() > kLargestEntryFile)
        return;
    if (platform::MakePrivateDirectory(directory_.native()))
        (void)platform::ReplaceWholeFile(EntryFile(pathBytes).native(), bytes);
}

void TitleCache::Trim() const {
    struct Stored {
        std::filesystem::file_time_type used;
        uint64_t size = 0;
        std::filesystem::path file;
    };
    std::vector<Stored> stored;
    uint64_t total = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory_, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code noTime;
        std::error_code noSize;
        std::error_code noKind;
        Stored file{it->last_write_time(noTime), it->file_size(noSize), it->path()};
        if (noTime || noSize || !it->is_regular_file(noKind) ||
            !IsEntryName(it->path().filename().native()))
            continue;
        total += file.size;
        stored.push_back(std::move(file));
    }
    std::sort(stored.begin(), stored.end(),
              [](const Stored& a, const Stored& b) { return a.used < b.used; });
    for (const Stored& file : stored) {
        if (total <= bound_)
            break;
        std::error_code ignored;
        if (std::filesystem::remove(file.file, ignored))
            total -= file.size;
    }
}
