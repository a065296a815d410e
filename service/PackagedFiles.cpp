#include "service/PackagedFiles.h"

#include <algorithm>
#include <utility>

#include "archive/bsFileRead.h"

namespace {

// A cache's place in the budget, for as long as the cache lives.
class BudgetShare {
public:
    BudgetShare(std::shared_ptr<PackagedFiles::Budget> budget, BlockCache* cache)
        : budget_(std::move(budget)), cache_(cache) {
        if (budget_)
            budget_->Join(cache_);
    }
    ~BudgetShare() {
        if (budget_)
            budget_->Leave(cache_);
    }
    BudgetShare(const BudgetShare&) = delete;
    BudgetShare& operator=(const BudgetShare&) = delete;

private:
    std::shared_ptr<PackagedFiles::Budget> budget_;
    BlockCache* cache_;
};

// The file and the cache that borrows it, which goes first, after it has
// left the budget. A file that did not open holds no blocks and takes no
// share from the others.
struct SharedFile {
    SharedFile(const std::wstring& path, std::shared_ptr<PackagedFiles::Budget> budget)
        : file(path, L"rb"),
          cache(&file),
          share(file.IsOpen() ? std::move(budget) : nullptr, &cache) {}
    bsFileRead file;
    BlockCache cache;
    BudgetShare share;
};

}  // namespace

void PackagedFiles::Budget::Join(BlockCache* cache) {
    platform::MutexLock lock(mutex_);
    caches_.push_back(cache);
    ShareOut();
}

void PackagedFiles::Budget::Leave(BlockCache* cache) {
    platform::MutexLock lock(mutex_);
    std::erase(caches_, cache);
    ShareOut();
}

void PackagedFiles::Budget::Set(uint64_t bytes) {
    platform::MutexLock lock(mutex_);
    bytes_ = bytes;
    ShareOut();
}

uint64_t PackagedFiles::Budget::Bytes() const {
    platform::MutexLock lock(mutex_);
    return bytes_;
}

// A title that opens takes its share from the others at once; one that
// closes leaves its share to the others' next loads.
void PackagedFiles::Budget::ShareOut() {
    if (caches_.empty())
        return;
    const uint64_t share = std::min(BlockCache::kCacheBoundBytes, bytes_ / caches_.size());
    for (BlockCache* cache : caches_)
        cache->SetBoundBytes(share);
}

PackagedFiles::PackagedFiles() : budget_(std::make_shared<Budget>()) {}

void PackagedFiles::SetCacheBudget(uint64_t bytes) {
    budget_->Set(bytes);
}

uint64_t PackagedFiles::CacheBudget() const {
    return budget_->Bytes();
}

std::shared_ptr<BlockCache> PackagedFiles::OpenUnshared(const std::wstring& path) {
    auto shared = std::make_shared<SharedFile>(path, nullptr);
    return std::shared_ptr<BlockCache>(shared, &shared->cache);
}

std::shared_ptr<BlockCache> PackagedFiles::Open(const std::wstring& path) {
    // Looked at without the lock, as the file is opened: a disk that takes
    // seconds to wake holds up only the session that opens a title on it.
    const platform::PathStatus status = platform::StatusOfPath(path);
    {
        platform::MutexLock lock(mutex_);
        const auto open = files_.find(path);
        if (open != files_.end() && open->second.status == status) {
            if (std::shared_ptr<BlockCache> cache = open->second.cache.lock())
                return cache;
        }
    }
    auto shared = std::make_shared<SharedFile>(path, budget_);
    std::shared_ptr<BlockCache> cache(shared, &shared->cache);
    if (!shared->file.IsOpen())
        return cache;
    platform::MutexLock lock(mutex_);
    OpenFile& entry = files_[path];
    if (entry.status == status) {
        if (std::shared_ptr<BlockCache> open = entry.cache.lock())
            return open;  // another session opened it meanwhile
    }
    entry = {cache, status};
    std::erase_if(files_, [](const auto& file) { return file.second.cache.expired(); });
    return cache;
}

size_t PackagedFiles::OpenCount() {
    platform::MutexLock lock(mutex_);
    size_t open = 0;
    for (const auto& [path, file] : files_)
        open += file.cache.expired() ? 0 : 1;
    return open;
}
