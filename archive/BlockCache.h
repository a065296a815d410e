#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "archive/bsFileRead.h"
#include "platform/ThreadAnnotations.h"

// The cached blocks of one file, shared by every reader of it (bs100MMemRead)
// and by the replies sent from it. A block is an aligned piece of the file
// read with one read; blocks that were read from and then left alone for
// 100 s are recycled by an age rule, and the cache as a whole stays within
// its bound, however many readers it has. A block a reader holds is never
// recycled under it.
//
// Blocks asked for in the background are filled by the cache's loader
// thread; a block is filled once, whoever asked for it: a reader that
// reaches a block still being filled fills the rest alongside the loader
// instead of loading it again.
//
// A block the file refused to read (a bad sector) is never served and not
// kept: whoever waited for it is told, and the next reader reads again.
class BlockCache {
public:
    static constexpr int64_t kDefaultBlockSize = 4194304;
    static constexpr int64_t kMinBlockSize = 1048576;
    static constexpr int64_t kMaxBlockSize = 268435456;
    static constexpr uint64_t kCacheBoundBytes = 104857600;
    static constexpr uint32_t kCleanupIntervalMs = 10000;
    static constexpr uint32_t kBlockMaxAgeMs = 100000;

    struct Block;

    // A block a reader holds, with its place in the file, which does not
    // change while it is held: the holder reads it without the lock.
    struct Held {
        Block* block = nullptr;
        uint64_t start = 0;
        uint64_t validLength = 0;
        const uint8_t* data = nullptr;

        bool Contains(uint64_t position) const {
            return block != nullptr && start <= position && position < start + validLength;
        }
    };

    enum class LoadMode { Now, InBackground };

    // The source is borrowed: it must outlive the cache, which never closes
    // it and reads it only by offset.
    explicit BlockCache(bsFileRead* source);
    ~BlockCache();
    BlockCache(const BlockCache&) = delete;
    BlockCache& operator=(const BlockCache&) = delete;

    // The source's size, taken when the cache was made.
    uint64_t Length() const { return length_; }
    int64_t BlockSize() const EXCLUDES(mutex_);

    // Each reader tells the cache where in the file it is. When the cache is
    // full, a block every reader has passed is recycled before any other,
    // the one passed last first: its memory is still in the processor's
    // cache, and no reader reading on will want it.
    int AddReader(uint64_t position) EXCLUDES(mutex_);
    void MoveReader(int reader, uint64_t position) EXCLUDES(mutex_);
    void RemoveReader(int reader) EXCLUDES(mutex_);

    // Holds the block that contains `position` instead of `left`, loading it
    // on a miss: filled before the call returns, or queued for the loader.
    // `left` is stamped with the time when the new block was found cached.
    // Without a source, or past the end, holds nothing. `reader`, if not
    // -1, is now at `position`.
    Held Switch(int reader, Held& left, uint64_t position, LoadMode mode) EXCLUDES(mutex_);
    // Lets go of a block without a stamp.
    void Release(Held& held) EXCLUDES(mutex_);
    // Waits until the held block is filled, then marks it as read from.
    // False when the file could not be read there: the block holds nothing
    // to use, and once let go it leaves the cache, so that a later read
    // reads the file again.
    bool MarkRead(const Held& held) EXCLUDES(mutex_);
    // Holds the block at `position` and marks it as read from, but only when
    // it is cached and filled from the file: never waits for the file.
    bool TryHold(uint64_t position, Held& held) EXCLUDES(mutex_);
    // Queues the blocks covering [offset, offset + count) that are not
    // cached, as far as blocks can be had without waiting for the loader.
    void Prefetch(uint64_t offset, uint64_t count) EXCLUDES(mutex_);
    // Drops every block, then sets the block size clamped to [1 MiB,
    // 256 MiB]. Changes nothing while any block is held.
    void SetBlockSize(int64_t bytes) EXCLUDES(mutex_);
    // The bytes the cache may hold (kCacheBoundBytes until set), never less
    // than three blocks. Blocks above a lowered bound that nobody holds or
    // fills are freed at once, the least recently used first; the others
    // are recycled rather than joined by new ones.
    void SetBoundBytes(uint64_t bytes) EXCLUDES(mutex_);

    // For tests and diagnostics.
    struct BlockView {
        int64_t start;
        int64_t validLength;
        uint32_t lastUse;
        bool used;
    };
    std::vector<BlockView> CachedBlocks() const EXCLUDES(mutex_);
    size_t SpareBlockCount() const EXCLUDES(mutex_);
    // Blocks filled from the file since construction.
    uint64_t LoadedBlockCount() const EXCLUDES(mutex_);
    // Blocks readers and sends hold now.
    size_t HeldBlockCount() const EXCLUDES(mutex_);
    // Reads that reached the file.
    uint64_t FileReadCount() const { return source_ != nullptr ? source_->FileReadCount() : 0; }
    // Cached and spare blocks together stay within this many, but for blocks
    // that every one of them is held when another is needed.
    size_t MaxCachedBlocks() const EXCLUDES(mutex_);

private:
    struct FreeBlockData {
        void operator()(uint8_t* data) const { std::free(data); }
    };
    using BlockData = std::unique_ptr<uint8_t[], FreeBlockData>;
    using BlockPtr = std::unique_ptr<Block>;

    // A piece of a block being filled, claimed by one thread.
    struct Piece {
        uint64_t fileOffset;
        uint8_t* target;
        uint64_t count;
    };

    static BlockData AllocateBlockData(size_t bytes);
    size_t BlockCapacity() const REQUIRES(mutex_);
    size_t BoundLocked() const REQUIRES(mutex_);
    Block* FindCachedBlock(uint64_t position) const REQUIRES(mutex_);
    Held HoldLocked(Block& block) REQUIRES(mutex_);
    void ReleaseLocked(Held& held) REQUIRES(mutex_);
    void RunAgeRule() REQUIRES(mutex_);
    void FreeBlocksAboveBound(platform::MutexLock& lock) REQUIRES(mutex_);
    // A block to load into: a spare one, the least recently used one that
    // nobody holds, or a new one. `waitForLoader` false passes over blocks
    // the loader still fills; then there may be none.
    BlockPtr TakeBlockForMiss(platform::MutexLock& lock, bool waitForLoader) REQUIRES(mutex_);
    Block& InsertForLoad(BlockPtr block, uint64_t position) REQUIRES(mutex_);
    void StartFill(Block& block, bool byLoader) REQUIRES(mutex_);
    bool ClaimPiece(Block& block, Piece& piece) REQUIRES(mutex_);
    // `filled` false: the piece could not be read.
    void FinishPiece(Block& block, bool filled) REQUIRES(mutex_);
    // False when the file refused the read.
    bool FillPiece(const Piece& piece) const;
    // A block whose reading failed leaves the cache for the spare list.
    void DropFailedBlock(Block& block) REQUIRES(mutex_);
    void WaitUntilFilled(Block& block, platform::MutexLock& lock) REQUIRES(mutex_);
    // Takes the block out of any filling: pieces nobody has started on are
    // dropped, its queue entries go, and those being written are waited for.
    void RetireBlock(Block& block, platform::MutexLock& lock) REQUIRES(mutex_);
    void ReleaseAllBlocks(platform::MutexLock& lock) REQUIRES(mutex_);
    void LoaderLoop() EXCLUDES(mutex_);

    bsFileRead* const source_;
    const uint64_t length_;

    mutable platform::Mutex mutex_;
    std::condition_variable queueChanged_;
    std::condition_variable blockFilled_;
    // Sorted by start; blocks never overlap.
    std::vector<BlockPtr> cachedBlocks_ GUARDED_BY(mutex_);
    std::vector<BlockPtr> spareBlocks_ GUARDED_BY(mutex_);
    std::deque<Block*> fillQueue_ GUARDED_BY(mutex_);
    int64_t blockSize_ GUARDED_BY(mutex_) = kDefaultBlockSize;
    uint64_t boundBytes_ GUARDED_BY(mutex_) = kCacheBoundBytes;
    uint32_t lastCleanupTime_ GUARDED_BY(mutex_) = 0;
    uint64_t useCounter_ GUARDED_BY(mutex_) = 0;
    uint64_t loadedBlocks_ GUARDED_BY(mutex_) = 0;
    size_t heldBlocks_ GUARDED_BY(mutex_) = 0;
    // Cached, spare, and taken out to be loaded into: what the bound counts.
    size_t ownedBlocks_ GUARDED_BY(mutex_) = 0;
    std::map<int, uint64_t> readerPositions_ GUARDED_BY(mutex_);
    int nextReader_ GUARDED_BY(mutex_) = 0;
    bool stopLoader_ GUARDED_BY(mutex_) = false;
    // Started under the lock when first needed, joined by the destructor.
    std::thread loader_;
};
