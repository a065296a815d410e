#pragma once

#include <memory>
#include <vector>

#include "archive/bsFileRead.h"
#include "archive/iLoadArc.h"

// Serves reads of a large file from a cache of aligned blocks. A read inside a
// cached block is a memory copy; a miss loads the whole block with one seek
// and one read. Blocks that were read from and then left alone for 100 s are
// recycled by an age rule, and the cache is bounded so that streaming a file
// much larger than memory never holds more than a fixed amount of it.
class bs100MMemRead : public iLoadArc {
public:
    static constexpr int64_t kDefaultBlockSize = 4194304;
    static constexpr int64_t kMinBlockSize = 1048576;
    static constexpr int64_t kMaxBlockSize = 268435456;
    static constexpr uint64_t kCacheBoundBytes = 104857600;
    static constexpr uint32_t kCleanupIntervalMs = 10000;
    static constexpr uint32_t kBlockMaxAgeMs = 100000;

    // The source is borrowed: it must outlive this reader, which never closes it.
    explicit bs100MMemRead(bsFileRead* source);
    ~bs100MMemRead() override;

    iArc& SerializeBytes(void* data, uint64_t count) override;
    uint64_t Tell() override { return position_; }
    std::wstring ClassName() override { return L"bs100MMemRead"; }
    uint64_t Size() override { return length_; }
    bool Seek(int64_t offset, int origin) override;

    // Drops every block, then sets the block size clamped to [1 MiB, 256 MiB].
    void SetBlockSize(int64_t bytes);
    // Loads the blocks covering the next `count` bytes without moving the position.
    void ReadAhead(uint64_t count);
    // Makes the block holding the position current, loading it on a miss.
    bool LoadBlock();

    // For tests and diagnostics.
    int64_t BlockSize() const { return blockSize_; }
    struct BlockView {
        int64_t start;
        int64_t validLength;
        uint32_t lastUse;
        bool used;
    };
    std::vector<BlockView> CachedBlocks() const;
    size_t SpareBlockCount() const { return spareBlocks_.size(); }
    // Cached blocks never exceed this many; see LoadBlock.
    size_t MaxCachedBlocks() const;

private:
    struct Block {
        int64_t start = 0;
        int64_t validLength = 0;
        uint32_t lastUse = 0;
        bool used = false;
        uint64_t recentUse = 0;  // ordering for the cache bound only
        std::unique_ptr<uint8_t[]> data;
    };
    using BlockPtr = std::unique_ptr<Block>;

    bool Contains(const Block& block, uint64_t position) const;
    Block* FindCachedBlock(uint64_t position) const;
    void RunAgeRule();
    BlockPtr TakeBlockForMiss();
    void FillBlock(Block& block);
    void InsertSorted(BlockPtr block);
    void ReleaseAllBlocks();
    void Touch(Block& block) { block.recentUse = ++useCounter_; }

    std::vector<BlockPtr> cachedBlocks_;
    std::vector<BlockPtr> spareBlocks_;
    Block* currentBlock_ = nullptr;
    uint32_t lastCleanupTime_ = 0;
    uint64_t position_ = 0;
    bsFileRead* source_ = nullptr;
    int64_t baseOffset_ = 0;
    uint64_t length_ = 0;
    int64_t blockSize_ = kDefaultBlockSize;
    uint64_t useCounter_ = 0;
};
