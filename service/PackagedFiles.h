#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/BlockCache.h"
#include "platform/DirectoryListing.h"
#include "platform/ThreadAnnotations.h"

// The packaged titles open on the service's connections, each open once: the
// file and its block cache, shared by every session that reads the title and
// by the replies being sent from it, and closed when the last of them lets
// go. So headsets watching one title hold its blocks once, and the caches of
// all open titles share one budget.
class PackagedFiles {
public:
    // The server's block caches stay within this together unless every
    // title is down to its least (three blocks): 256 MiB for all that
    // headsets on packaged titles cost, less what the sessions, their
    // threads and the replies in flight hold beside the blocks (under 5 MiB
    // for eight).
    static constexpr uint64_t kDefaultCacheBudgetBytes = uint64_t{240} << 20;

    PackagedFiles();

    // The cache over the file at `path`, opened when no session has that
    // file open. Known by its path and its status, not by its title's index:
    // a file replaced under a session that reads the old one, or a title
    // numbered anew, gets a cache of its own. A file that does not open is
    // not shared: a later open tries again.
    std::shared_ptr<BlockCache> Open(const std::wstring& path) EXCLUDES(mutex_);
    // Titles open now.
    size_t OpenCount() EXCLUDES(mutex_);

    // Shares `bytes` out among the caches of the titles open now and to
    // come, equally, each with at most what one title had on its own.
    void SetCacheBudget(uint64_t bytes);
    uint64_t CacheBudget() const;

    // A cache over its own file, shared with nobody.
    static std::shared_ptr<BlockCache> OpenUnshared(const std::wstring& path);

    // The open caches and the bytes they share; outlives the registry while
    // a reply still holds a cache.
    class Budget {
    public:
        void Join(BlockCache* cache) EXCLUDES(mutex_);
        void Leave(BlockCache* cache) EXCLUDES(mutex_);
        void Set(uint64_t bytes) EXCLUDES(mutex_);
        uint64_t Bytes() const EXCLUDES(mutex_);

    private:
        void ShareOut() REQUIRES(mutex_);

        mutable platform::Mutex mutex_;
        uint64_t bytes_ GUARDED_BY(mutex_) = kDefaultCacheBudgetBytes;
        std::vector<BlockCache*> caches_ GUARDED_BY(mutex_);
    };

private:
    platform::Mutex mutex_;
    struct OpenFile {
        std::weak_ptr<BlockCache> cache;
        platform::PathStatus status;
    };
    std::map<std::wstring, OpenFile> files_ GUARDED_BY(mutex_);
    const std::shared_ptr<Budget> budget_;
};
