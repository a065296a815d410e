#pragma once

#include <map>
#include <optional>
#include <string>

#include "catalogue/TitleStore.h"
#include "platform/ThreadAnnotations.h"

// The titles of the last build held in memory, in front of another store
// (the cache on the disk) or of none, so that a library read again while it
// is served reads only the files that changed, with or without a cache on
// the disk. What the last complete build did not use is let go by its Trim.
class RememberedTitles final : public TitleStore {
public:
    explicit RememberedTitles(const TitleStore* behind = nullptr) : behind_(behind) {}

    std::optional<CatalogueEntry> Find(const std::wstring& path,
                                       const platform::PathStatus& file) const override
        EXCLUDES(mutex_);
    void Keep(const std::wstring& path, const platform::PathStatus& file,
              const CatalogueEntry& entry) const override EXCLUDES(mutex_);
    void Trim() const override EXCLUDES(mutex_);

private:
    struct Remembered {
        platform::PathStatus file;
        CatalogueEntry entry;
        bool used = true;
    };

    void Remember(const std::wstring& path, const platform::PathStatus& file,
                  const CatalogueEntry& entry) const EXCLUDES(mutex_);

    const TitleStore* behind_;
    mutable platform::Mutex mutex_;
    mutable std::map<std::wstring, Remembered> titles_ GUARDED_BY(mutex_);
};
