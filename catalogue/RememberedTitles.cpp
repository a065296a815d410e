#include "catalogue/RememberedTitles.h"

#include <iterator>

std::optional<CatalogueEntry> RememberedTitles::Find(const std::wstring& path,
                                                     const platform::PathStatus& file) const {
    {
        platform::MutexLock lock(mutex_);
        const auto known = titles_.find(path);
        if (known != titles_.end() && known->second.file == file) {
            known->second.used = true;
            return known->second.entry;
        }
    }
    std::optional<CatalogueEntry> kept =
        behind_ != nullptr ? behind_->Find(path, file) : std::nullopt;
    if (kept)
        Remember(path, file, *kept);
    return kept;
}

void RememberedTitles::Keep(const std::wstring& path, const platform::PathStatus& file,
                            const CatalogueEntry& entry) const {
    Remember(path, file, entry);
    if (behind_ != nullptr)
        behind_->Keep(path, file, entry);
}

void RememberedTitles::Trim() const {
    {
        platform::MutexLock lock(mutex_);
        for (auto title = titles_.begin(); title != titles_.end();) {
            title = title->second.used ? std::next(title) : titles_.erase(title);
        }
        for (auto& [path, title] : titles_)
            title.used = false;
    }
    if (behind_ != nullptr)
        behind_->Trim();
}

void RememberedTitles::Remember(const std::wstring& path, const platform::PathStatus& file,
                                const CatalogueEntry& entry) const {
    platform::MutexLock lock(mutex_);
    titles_.insert_or_assign(path, Remembered{file, entry, true});
}
