#pragma once

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <memory>
#include <thread>
#include <vector>

#include "archive/bsFileRead.h"
#include "archive/iLoadArc.h"
#include "platform/ThreadAnnotations.h"

// Serves reads of a large file from a cache of aligned blocks. A read inside a
// cached block is a memory copy; a miss loads the whole block with one read
// of the file. Blocks that were read from and then left alone for 100 s are
// recycled by an age rule, and the cache is bounded so that streaming a file
// much larger than memory never holds more than a fixed amount of it.
//
// Blocks asked for by ReadAhead are filled by a loader thread of the reader's
// own, so that copying the next block out of the file overlaps with the
// caller's use of the current one; a read of a block still being filled waits
// for it. Everything else happens on the caller's thread.
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
    bool LoadBlock() { return LoadBlock(LoadMode::Now); }

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
    // Blocks filled from the file since construction.
    uint64_t LoadedBlockCount() const { return loadedBlocks_; }
    // Cached and spare blocks together never exceed this many.
    size_t MaxCachedBlocks() const;

private:
    struct FreeBlockData {
        void operator()(uint8_t* data) const { std::free(data); }
    };
    using BlockData = std::unique_ptr<uint8_t[], FreeBlockData>;
    static BlockData AllocateBlockData(size_t bytes);
    size_t BlockCapacity() const;

    // Background filling: the block is filled piece by piece, by the loader
    // or by a reader that would otherwise wait.
    struct FillState {
        bool filling = false;
        int64_t start = 0;      // file offset of the block's first byte
        int64_t length = 0;     // bytes to fill
        int64_t unclaimed = 0;  // offset of the first piece nobody has started on
        int piecesInFlight = 0;
    };
    struct Block {
        int64_t start = 0;
        int64_t validLength = 0;
        uint32_t lastUse = 0;
        bool used = false;
        uint64_t recentUse = 0;  // ordering for the cache bound only
        // Guarded by mutex_. The loader reads only this and `data`, never
        // the fields above, which the caller's thread rewrites when it
        // recycles the block.
        platform::Guarded<FillState> fill;
        // Allocated with the block and never replaced, so the loader may
        // write into it without the lock once it has claimed a piece.
        BlockData data;
    };
    using BlockPtr = std::unique_ptr<Block>;
    enum class LoadMode { Now, InBackground };

    bool LoadBlock(LoadMode mode);
    // base + offset into `target` when it lies in [0, length]; false otherwise.
    bool OffsetTarget(uint64_t base, int64_t offset, uint64_t& target) const;
    bool Contains(const Block& block, uint64_t position) const;
    Block* FindCachedBlock(uint64_t position) const;
    void RunAgeRule();
    BlockPtr TakeBlockForMiss() EXCLUDES(mutex_);
    void PrepareBlock(Block& block);
    void FillBlock(Block& block) const;
    void InsertSorted(BlockPtr block);
    void ReleaseAllBlocks() EXCLUDES(mutex_);
    void Touch(Block& block) { block.recentUse = ++useCounter_; }

    // Loader thread.
    struct Piece {
        uint64_t fileOffset;
        uint8_t* target;
        uint64_t count;
    };
    void FillPiece(const Piece& piece) const;
    void QueueFill(Block& block) EXCLUDES(mutex_);
    bool ClaimPiece(Block& block, Piece& piece) REQUIRES(mutex_);
    void FinishPiece(Block& block) REQUIRES(mutex_);
    // Takes the block out of any filling: pieces nobody has started on are
    // dropped, its queue entries go, and those being written are waited for.
    void RetireBlock(Block& block, platform::MutexLock& lock) REQUIRES(mutex_);
    void WaitUntilFilled(Block& block) EXCLUDES(mutex_);
    void LoaderLoop() EXCLUDES(mutex_);
    void StopLoader() EXCLUDES(mutex_);

    std::vector<BlockPtr> cachedBlocks_;
    std::vector<BlockPtr> spareBlocks_;
    Block* currentBlock_ = nullptr;
    uint32_t lastCleanupTime_ = 0;
    uint64_t position_ = 0;
    bsFileRead* source_ = nullptr;
    uint64_t length_ = 0;
    int64_t blockSize_ = kDefaultBlockSize;
    uint64_t useCounter_ = 0;
    uint64_t loadedBlocks_ = 0;

    platform::Mutex mutex_;
    std::condition_variable queueChanged_;
    std::condition_variable blockFilled_;
    std::deque<Block*> fillQueue_ GUARDED_BY(mutex_);
    bool stopLoader_ GUARDED_BY(mutex_) = false;
    // Started and joined on the caller's thread only.
    std::thread loader_;
};
