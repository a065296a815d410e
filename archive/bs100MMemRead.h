#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "archive/BlockCache.h"
#include "archive/bsFileRead.h"
#include "archive/iLoadArc.h"

// Serves reads of a large file from a cache of aligned blocks (BlockCache). A
// read inside a cached block is a memory copy; a miss loads the whole block
// with one read of the file. The reader keeps its own position and the block
// it is at; the blocks themselves may be shared with other readers of the
// same file, each reading ahead of itself.
class bs100MMemRead : public iLoadArc {
public:
    static constexpr int64_t kDefaultBlockSize = BlockCache::kDefaultBlockSize;
    static constexpr int64_t kMinBlockSize = BlockCache::kMinBlockSize;
    static constexpr int64_t kMaxBlockSize = BlockCache::kMaxBlockSize;
    static constexpr uint64_t kCacheBoundBytes = BlockCache::kCacheBoundBytes;
    static constexpr uint32_t kCleanupIntervalMs = BlockCache::kCleanupIntervalMs;
    static constexpr uint32_t kBlockMaxAgeMs = BlockCache::kBlockMaxAgeMs;

    // A cache of its own over the source, which is borrowed: it must outlive
    // this reader, which never closes it.
    explicit bs100MMemRead(bsFileRead* source);
    // Reads through a cache other readers may share.
    explicit bs100MMemRead(std::shared_ptr<BlockCache> cache);
    ~bs100MMemRead() override;
    bs100MMemRead(const bs100MMemRead&) = delete;
    bs100MMemRead& operator=(const bs100MMemRead&) = delete;

    iArc& SerializeBytes(void* data, uint64_t count) override;
    uint64_t Tell() override { return position_; }
    std::wstring ClassName() override { return L"bs100MMemRead"; }
    uint64_t Size() override { return cache_->Length(); }
    bool Seek(int64_t offset, int origin) override;

    // Drops every block, then sets the block size clamped to [1 MiB, 256 MiB];
    // on a shared cache, only while no other reader holds a block.
    void SetBlockSize(int64_t bytes);
    // Loads the blocks covering the next `count` bytes without moving the position.
    void ReadAhead(uint64_t count);
    // Makes the block holding the position current, loading it on a miss.
    bool LoadBlock() { return LoadBlock(BlockCache::LoadMode::Now); }
    // Whether a read since the last call met a part of the file that could
    // not be read; what it delivered is no data. Clears the mark.
    bool TakeReadFailure() { return std::exchange(readFailed_, false); }

    // For tests and diagnostics.
    using BlockView = BlockCache::BlockView;
    int64_t BlockSize() const { return cache_->BlockSize(); }
    std::vector<BlockView> CachedBlocks() const { return cache_->CachedBlocks(); }
    size_t SpareBlockCount() const { return cache_->SpareBlockCount(); }
    uint64_t LoadedBlockCount() const { return cache_->LoadedBlockCount(); }
    size_t MaxCachedBlocks() const { return cache_->MaxCachedBlocks(); }
    const std::shared_ptr<BlockCache>& SharedCache() const { return cache_; }

private:
    bool LoadBlock(BlockCache::LoadMode mode);
    // base + offset into `target` when it lies in [0, length]; false otherwise.
    bool OffsetTarget(uint64_t base, int64_t offset, uint64_t& target);

    std::shared_ptr<BlockCache> cache_;
    BlockCache::Held current_;
    uint64_t position_ = 0;
    int readerId_;
    bool readFailed_ = false;
};
