#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "catalogue/CatalogueEntry.h"
#include "catalogue/TitleStore.h"
#include "platform/DirectoryListing.h"

// The entries of ordinary media files, kept between runs so that a start
// whose files have not changed decodes no picture. One file per title in the
// cache folder, named after the title's path. An entry counts only for the
// same path bytes, size, modification time, device and inode, and for the
// same program, FFmpeg and thumbnail conversion versions, which made its
// picture. Entries are written whole or not at all; one that is damaged, cut
// short, from another version or unreadable is never trusted, and the next
// read replaces it. An entry is on the disk before its name is, so a power
// cut leaves the old entry or the new one.
// When all together take more than the bound, the least recently used go.
// Find and Keep may run on several threads at once.
class TitleCache final : public TitleStore {
public:
    static constexpr uint64_t kDefaultBound = uint64_t{64} << 20;

    explicit TitleCache(std::filesystem::path directory, std::string version = CurrentVersion(),
                        uint64_t bound = kDefaultBound);

    // The versions that make a picture what it is: this program's, FFmpeg's
    // and the thumbnail conversion's.
    static std::string CurrentVersion();

    // The entry kept for `path` when `file`, the path's status now, is the
    // file it was made from.
    std::optional<CatalogueEntry> Find(const std::wstring& path,
                                       const platform::PathStatus& file) const override;

    // Keeps `entry`, made from `path` while the path had the status `file`.
    void Keep(const std::wstring& path, const platform::PathStatus& file,
              const CatalogueEntry& entry) const override;

    // Removes the least recently used entries until the rest fit the bound.
    // Only its own entries count and go: other files in the folder stay.
    void Trim() const override;

private:
    std::filesystem::path EntryFile(const std::string& pathBytes) const;

    std::filesystem::path directory_;
    std::string version_;
    uint64_t bound_;
};
