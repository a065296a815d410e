#pragma once

#include <optional>
#include <string>

#include "catalogue/CatalogueEntry.h"
#include "platform/DirectoryListing.h"

// Where a build finds the titles of files it has read before, and keeps the
// ones it reads. A title counts only for the file it was made from: the same
// path with the same status. Find and Keep may run on several threads at once.
class TitleStore {
public:
    virtual ~TitleStore() = default;

    // The entry kept for `path` when `file`, the path's status now, is the
    // file it was made from.
    virtual std::optional<CatalogueEntry> Find(const std::wstring& path,
                                               const platform::PathStatus& file) const = 0;

    // Keeps `entry`, made from `path` while the path had the status `file`.
    virtual void Keep(const std::wstring& path, const platform::PathStatus& file,
                      const CatalogueEntry& entry) const = 0;

    // Called once a build is complete: lets go of what the store need not keep.
    virtual void Trim() const = 0;
};
