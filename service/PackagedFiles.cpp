#include "service/PackagedFiles.h"

#include "archive/bsFileRead.h"

namespace {

// The file and the cache that borrows it, which goes first.
struct SharedFile {
    explicit SharedFile(const std::wstring& path) : file(path, L"rb"), cache(&file) {}
    bsFileRead file;
    BlockCache cache;
};

}  // namespace

std::shared_ptr<BlockCache> PackagedFiles::OpenUnshared(const std::wstring& path) {
    auto shared = std::make_shared<SharedFile>(path);
    return std::shared_ptr<BlockCache>(shared, &shared->cache);
}

std::shared_ptr<BlockCache> PackagedFiles::Open(int32_t titleIndex, const std::wstring& path) {
    {
        platform::MutexLock lock(mutex_);
        if (std::shared_ptr<BlockCache> open = files_[titleIndex].lock())
            return open;
    }
    // Opened without the lock: a disk that takes seconds to wake holds up
    // only the session that opens a title on it.
    auto shared = std::make_shared<SharedFile>(path);
    std::shared_ptr<BlockCache> cache(shared, &shared->cache);
    if (!shared->file.IsOpen())
        return cache;
    platform::MutexLock lock(mutex_);
    std::weak_ptr<BlockCache>& entry = files_[titleIndex];
    if (std::shared_ptr<BlockCache> open = entry.lock())
        return open;  // another session opened it meanwhile
    entry = cache;
    std::erase_if(files_, [](const auto& file) { return file.second.expired(); });
    return cache;
}

size_t PackagedFiles::OpenCount() {
    platform::MutexLock lock(mutex_);
    size_t open = 0;
    for (const auto& [title, file] : files_)
        open += file.expired() ? 0 : 1;
    return open;
}
