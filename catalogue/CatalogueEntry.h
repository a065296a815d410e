#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// The kind of an ordinary media file; packaged movie files carry larger kinds.
constexpr int64_t MEDIA_FILE_KIND = 100001;

// How an ordinary media file's thumbnail came out of its decoded picture:
// scaled as decoded (standard range, untagged, or no picture at all),
// tone-mapped from HDR, or left as decoded because its HDR could not be
// converted.
enum class ThumbnailTone : uint8_t { AsDecoded, ToneMapped, NotToneMapped };

// One shared title. The headset addresses it by its position in `catalogue`.
// It keeps only what replies send or need: a packaged movie's header block,
// which its opening reply reads from the file, is not copied here.
struct CatalogueEntry {
    int64_t kind = 0;
    std::string title;      // file-name part of the path, valid UTF-8
    std::wstring path;      // the full path as the user picked it
    std::string mediaPath;  // the path's OS bytes FFmpeg opens; empty for packaged movies
    int32_t thumbWidth = 0;
    int32_t thumbHeight = 0;
    int32_t dataOffset = 0;          // packaged movies: data region starts at 8 + dataOffset
    int32_t headerSize = 0;          // packaged movies: length of the header block at offset 8
    int32_t recordCount = 0;         // packaged movies: number of 24-byte index records
    std::vector<uint8_t> thumbnail;  // thumbWidth x thumbHeight pixels, 4 bytes each
    ThumbnailTone thumbnailTone = ThumbnailTone::AsDecoded;
    // platform::TimeGetTime() of the making and of the last open or read.
    // Only written, never read: kept because it is part of the entry's layout.
    // While the service runs the entry is read-only but for this stamp, which
    // the media threads of several headsets write through MarkUsed.
    mutable uint32_t lastUsed = 0;
};

// Stamps the entry's use at `now`; safe from any number of threads at once.
inline void MarkUsed(const CatalogueEntry& entry, uint32_t now) {
    std::atomic_ref<uint32_t>(entry.lastUsed).store(now, std::memory_order_relaxed);
}
