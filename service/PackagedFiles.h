#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "archive/BlockCache.h"
#include "platform/ThreadAnnotations.h"

// The packaged titles open on the service's connections, each open once: the
// file and its block cache, shared by every session that reads the title and
// by the replies being sent from it, and closed when the last of them lets
// go. So headsets watching one title hold its blocks once.
class PackagedFiles {
public:
    // The cache over the title's file, opened when no session has it open.
    // A file that does not open is not shared: a later open tries again.
    std::shared_ptr<BlockCache> Open(int32_t titleIndex, const std::wstring& path) EXCLUDES(mutex_);
    // Titles open now.
    size_t OpenCount() EXCLUDES(mutex_);

    // A cache over its own file, shared with nobody.
    static std::shared_ptr<BlockCache> OpenUnshared(const std::wstring& path);

private:
    platform::Mutex mutex_;
    std::map<int32_t, std::weak_ptr<BlockCache>> files_ GUARDED_BY(mutex_);
};
