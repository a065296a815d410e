#include "archive/BlockCache.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/Clock.h"

namespace {

constexpr size_t kHugePageSize = 2097152;
// Blocks are filled in pieces so that a reader that reaches a block still
// being filled can fill the rest alongside the loader instead of waiting.
constexpr int64_t kFillPiece = 1048576;

}  // namespace

struct BlockCache::Block {
    struct State {
        int64_t start = 0;        // file offset of the first byte
        int64_t validLength = 0;  // bytes of file data held
        uint32_t lastUse = 0;
        bool used = false;       // read from since it was loaded
        uint64_t recentUse = 0;  // ordering for the bound only
        int holds = 0;           // readers and sends that hold it
        bool filling = false;
        int64_t unclaimed = 0;  // offset of the first piece nobody has started on
        int piecesInFlight = 0;
        // A piece could not be read: the block holds no data, and leaves the
        // cache once nobody holds it, so that the next reader reads again.
        bool failed = false;
    };
    platform::Guarded<State> state;
    // Allocated with the block and never replaced, so a thread that has
    // claimed a piece writes into it without the lock.
    BlockData data;
};

BlockCache::BlockCache(bsFileRead* source)
    : source_(source), length_(source != nullptr ? source->Size() : 0) {
    platform::MutexLock lock(mutex_);
    lastCleanupTime_ = platform::TimeGetTime();
}

BlockCache::~BlockCache() {
    {
        platform::MutexLock lock(mutex_);
        stopLoader_ = true;
        queueChanged_.notify_one();
    }
    if (loader_.joinable())
        loader_.join();
    platform::MutexLock lock(mutex_);
    ReleaseAllBlocks(lock);
}

// Blocks of a huge page or more are aligned to huge pages and ask the kernel
// for them: a 4 MiB block then costs two page faults and two TLB entries
// instead of a thousand. Nothing is rounded up, so the cache's bound holds for
// any block size.
BlockCache::BlockData BlockCache::AllocateBlockData(size_t bytes) {
    void* memory = nullptr;
    if (bytes < kHugePageSize) {
        memory = std::malloc(bytes);
    } else if (posix_memalign(&memory, kHugePageSize, bytes) == 0) {
        (void)madvise(memory, bytes / kHugePageSize * kHugePageSize, MADV_HUGEPAGE);
    } else {
        memory = nullptr;
    }
    return BlockData{static_cast<uint8_t*>(memory)};
}

int64_t BlockCache::BlockSize() const {
    platform::MutexLock lock(mutex_);
    return blockSize_;
}

// A file shorter than a block never fills one, wherever the block starts.
size_t BlockCache::BlockCapacity() const {
    return static_cast<size_t>(
        std::max<uint64_t>(1, std::min(static_cast<uint64_t>(blockSize_), length_)));
}

size_t BlockCache::BoundLocked() const {
    const auto blockBytes = static_cast<uint64_t>(blockSize_);
    return static_cast<size_t>(std::max(boundBytes_, 3 * blockBytes) / blockBytes);
}

size_t BlockCache::MaxCachedBlocks() const {
    platform::MutexLock lock(mutex_);
    return BoundLocked();
}

// The last block whose start is not above the position, if it holds it.
BlockCache::Block* BlockCache::FindCachedBlock(uint64_t position) const {
    size_t low = 0;
    size_t high = cachedBlocks_.size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (static_cast<uint64_t>(cachedBlocks_[middle]->state.With(mutex_).start) <= position)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == 0)
        return nullptr;
    Block* candidate = cachedBlocks_[low - 1].get();
    const Block::State& state = candidate->state.With(mutex_);
    const auto start = static_cast<uint64_t>(state.start);
    return position < start + static_cast<uint64_t>(state.validLength) ? candidate : nullptr;
}

BlockCache::Held BlockCache::HoldLocked(Block& block) {
    Block::State& state = block.state.With(mutex_);
    ++state.holds;
    ++heldBlocks_;
    state.recentUse = ++useCounter_;
    return {&block, static_cast<uint64_t>(state.start), static_cast<uint64_t>(state.validLength),
            block.data.get()};
}

void BlockCache::ReleaseLocked(Held& held) {
    if (held.block != nullptr) {
        Block::State& state = held.block->state.With(mutex_);
        --state.holds;
        --heldBlocks_;
        if (state.holds == 0 && state.failed && !state.filling)
            DropFailedBlock(*held.block);
    }
    held = {};
}

void BlockCache::DropFailedBlock(Block& block) {
    const auto cached = std::find_if(cachedBlocks_.begin(), cachedBlocks_.end(),
                                     [&](const BlockPtr& each) { return each.get() == &block; });
    if (cached == cachedBlocks_.end())
        return;
    spareBlocks_.push_back(std::move(*cached));
    cachedBlocks_.erase(cached);
}

void BlockCache::Release(Held& held) {
    platform::MutexLock lock(mutex_);
    ReleaseLocked(held);
}

int BlockCache::AddReader(uint64_t position) {
    platform::MutexLock lock(mutex_);
    readerPositions_[nextReader_] = position;
    return nextReader_++;
}

void BlockCache::MoveReader(int reader, uint64_t position) {
    platform::MutexLock lock(mutex_);
    readerPositions_[reader] = position;
}

void BlockCache::RemoveReader(int reader) {
    platform::MutexLock lock(mutex_);
    readerPositions_.erase(reader);
}

BlockCache::Held BlockCache::Switch(int reader, Held& left, uint64_t position, LoadMode mode) {
    platform::MutexLock lock(mutex_);
    if (reader >= 0)
        readerPositions_[reader] = position;
    if (source_ == nullptr || position >= length_) {
        ReleaseLocked(left);
        return {};
    }
    if (left.Contains(position))
        return std::exchange(left, {});
    if (Block* found = FindCachedBlock(position)) {
        if (left.block != nullptr)
            left.block->state.With(mutex_).lastUse = platform::TimeGetTime();
        ReleaseLocked(left);
        return HoldLocked(*found);
    }

    // The block being left is held until a block for the miss is found, so
    // that it is not the one recycled.
    RunAgeRule();
    BlockPtr block = TakeBlockForMiss(lock, /*waitForLoader=*/true);
    ReleaseLocked(left);
    // Another reader may have loaded the block while this one waited.
    if (Block* found = FindCachedBlock(position)) {
        if (block)
            spareBlocks_.insert(spareBlocks_.begin(), std::move(block));
        return HoldLocked(*found);
    }
    if (!block)
        return {};
    Block& loading = InsertForLoad(std::move(block), position);
    Held held = HoldLocked(loading);
    StartFill(loading, mode == LoadMode::InBackground);
    if (mode == LoadMode::Now)
        WaitUntilFilled(loading, lock);
    return held;
}

bool BlockCache::MarkRead(const Held& held) {
    platform::MutexLock lock(mutex_);
    WaitUntilFilled(*held.block, lock);
    Block::State& state = held.block->state.With(mutex_);
    if (state.failed)
        return false;
    state.used = true;
    // Deliberately the start time, not now: a block that has been read is
    // then old enough for the age rule as soon as the program has run 100 s.
    state.lastUse = platform::ProcessStartTime();
    state.recentUse = ++useCounter_;
    return true;
}

bool BlockCache::TryHold(uint64_t position, Held& held) {
    platform::MutexLock lock(mutex_);
    Block* found = FindCachedBlock(position);
    if (found == nullptr || found->state.With(mutex_).filling || found->state.With(mutex_).failed)
        return false;
    held = HoldLocked(*found);
    Block::State& state = found->state.With(mutex_);
    state.used = true;
    state.lastUse = platform::ProcessStartTime();
    return true;
}

void BlockCache::Prefetch(uint64_t offset, uint64_t count) {
    platform::MutexLock lock(mutex_);
    if (source_ == nullptr || offset >= length_)
        return;
    const uint64_t end = count < length_ - offset ? offset + count : length_;
    const auto blockBytes = static_cast<uint64_t>(blockSize_);
    for (uint64_t at = offset / blockBytes * blockBytes; at < end; at += blockBytes) {
        if (FindCachedBlock(at) != nullptr)
            continue;
        RunAgeRule();
        BlockPtr block = TakeBlockForMiss(lock, /*waitForLoader=*/false);
        if (!block)
            return;
        StartFill(InsertForLoad(std::move(block), at), /*byLoader=*/true);
    }
}

void BlockCache::SetBlockSize(int64_t bytes) {
    platform::MutexLock lock(mutex_);
    if (heldBlocks_ != 0)
        return;
    ReleaseAllBlocks(lock);
    blockSize_ = bytes < kMinBlockSize ? kMinBlockSize : std::min(bytes, kMaxBlockSize);
}

void BlockCache::SetBoundBytes(uint64_t bytes) {
    platform::MutexLock lock(mutex_);
    boundBytes_ = bytes;
    FreeBlocksAboveBound(lock);
}

void BlockCache::FreeBlocksAboveBound(platform::MutexLock& lock) {
    while (ownedBlocks_ > BoundLocked()) {
        BlockPtr freed;
        if (!spareBlocks_.empty()) {
            freed = std::move(spareBlocks_.front());
            spareBlocks_.erase(spareBlocks_.begin());
        } else {
            auto victim = cachedBlocks_.end();
            uint64_t victimUse = UINT64_MAX;
            for (auto it = cachedBlocks_.begin(); it != cachedBlocks_.end(); ++it) {
                const Block::State& state = (*it)->state.With(mutex_);
                if (state.holds == 0 && !state.filling && state.piecesInFlight == 0 &&
                    state.recentUse < victimUse) {
                    victim = it;
                    victimUse = state.recentUse;
                }
            }
            if (victim == cachedBlocks_.end())
                return;
            freed = std::move(*victim);
            cachedBlocks_.erase(victim);
        }
        RetireBlock(*freed, lock);
        --ownedBlocks_;
    }
}

void BlockCache::RunAgeRule() {
    const uint32_t now = platform::TimeGetTime();
    if (static_cast<uint32_t>(now - lastCleanupTime_) <= kCleanupIntervalMs)
        return;
    if (!spareBlocks_.empty())
        return;
    lastCleanupTime_ = now;
    for (auto it = cachedBlocks_.begin(); it != cachedBlocks_.end(); ++it) {
        const Block::State& state = (*it)->state.With(mutex_);
        if (state.holds != 0 || !state.used)
            continue;
        if (static_cast<uint32_t>(now - state.lastUse) < kBlockMaxAgeMs)
            continue;
        spareBlocks_.push_back(std::move(*it));
        cachedBlocks_.erase(it);
        return;  // at most one block per run
    }
}

BlockCache::BlockPtr BlockCache::TakeBlockForMiss(platform::MutexLock& lock, bool waitForLoader) {
    BlockPtr reused;
    if (!spareBlocks_.empty()) {
        reused = std::move(spareBlocks_.front());
        spareBlocks_.erase(spareBlocks_.begin());
    } else if (ownedBlocks_ >= BoundLocked()) {
        // A block nobody holds gives its memory, so the cache stays within
        // its bound: of those every reader has passed the one used last,
        // otherwise the least recently used.
        uint64_t passedByAll = UINT64_MAX;
        for (const auto& [id, position] : readerPositions_)
            passedByAll = std::min(passedByAll, position);
        auto victim = cachedBlocks_.end();
        bool victimPassed = false;
        uint64_t victimUse = 0;
        for (auto it = cachedBlocks_.begin(); it != cachedBlocks_.end(); ++it) {
            const Block::State& state = (*it)->state.With(mutex_);
            const bool busy = state.filling || state.piecesInFlight != 0;
            if (state.holds != 0 || (busy && !waitForLoader))
                continue;
            const bool passed =
                static_cast<uint64_t>(state.start + state.validLength) <= passedByAll;
            const bool better = passed ? !victimPassed || state.recentUse > victimUse
                                       : !victimPassed && (victim == cachedBlocks_.end() ||
                                                           state.recentUse < victimUse);
            if (better) {
                victim = it;
                victimPassed = passed;
                victimUse = state.recentUse;
            }
        }
        if (victim == cachedBlocks_.end() && !waitForLoader)
            return nullptr;
        if (victim != cachedBlocks_.end()) {
            reused = std::move(*victim);
            cachedBlocks_.erase(victim);
        }
    }
    if (reused) {
        // The loader may still hold an entry or a piece of the block's old
        // range; the block is rewritten only once it has let go of both.
        RetireBlock(*reused, lock);
        return reused;
    }
    BlockData data = AllocateBlockData(BlockCapacity());
    if (!data)
        return nullptr;
    auto block = std::make_unique<Block>();
    block->data = std::move(data);
    ++ownedBlocks_;
    return block;
}

BlockCache::Block& BlockCache::InsertForLoad(BlockPtr block, uint64_t position) {
    Block::State& state = block->state.With(mutex_);
    state.start = static_cast<int64_t>(position / static_cast<uint64_t>(blockSize_)) * blockSize_;
    state.validLength = std::min<int64_t>(blockSize_, static_cast<int64_t>(length_) - state.start);
    state.lastUse = platform::TimeGetTime();
    state.used = false;
    state.failed = false;
    state.recentUse = ++useCounter_;
    ++loadedBlocks_;
    const int64_t start = state.start;
    auto place = cachedBlocks_.begin();
    while (place != cachedBlocks_.end() && (*place)->state.With(mutex_).start < start)
        ++place;
    return **cachedBlocks_.insert(place, std::move(block));
}

// The block was retired before it was prepared, so no piece of it is in
// flight and no entry for it is queued.
void BlockCache::StartFill(Block& block, bool byLoader) {
    Block::State& state = block.state.With(mutex_);
    state.filling = true;
    state.unclaimed = 0;
    if (!byLoader)
        return;
    if (!loader_.joinable())
        loader_ = std::thread([this] { LoaderLoop(); });
    fillQueue_.push_back(&block);
    queueChanged_.notify_one();
}

bool BlockCache::ClaimPiece(Block& block, Piece& piece) {
    Block::State& state = block.state.With(mutex_);
    if (state.unclaimed >= state.validLength)
        return false;
    const int64_t count = std::min(kFillPiece, state.validLength - state.unclaimed);
    piece.fileOffset = static_cast<uint64_t>(state.start + state.unclaimed);
    piece.target = block.data.get() + state.unclaimed;
    piece.count = static_cast<uint64_t>(count);
    state.unclaimed += count;
    ++state.piecesInFlight;
    return true;
}

void BlockCache::FinishPiece(Block& block, bool filled) {
    Block::State& state = block.state.With(mutex_);
    --state.piecesInFlight;
    state.failed = state.failed || !filled;
    if (state.unclaimed >= state.validLength && state.piecesInFlight == 0) {
        state.filling = false;
        blockFilled_.notify_all();
        if (state.failed && state.holds == 0)
            DropFailedBlock(block);
    }
}

bool BlockCache::FillPiece(const Piece& piece) const {
    // Reading by offset leaves the source's own position where its owner put it.
    const bsFileRead::ReadResult read =
        source_->ReadAt(piece.fileOffset, piece.target, piece.count);
    if (read.error != 0)
        return false;
    // A file that shrank since it was opened delivers less than its old
    // length promised; the missing bytes read as zero, never as stale memory.
    if (read.delivered < piece.count) {
        std::memset(piece.target + read.delivered, 0,
                    static_cast<size_t>(piece.count - read.delivered));
    }
    return true;
}

void BlockCache::WaitUntilFilled(Block& block, platform::MutexLock& lock) {
    Piece piece{};
    while (block.state.With(mutex_).filling) {
        if (!ClaimPiece(block, piece)) {
            lock.Wait(blockFilled_);
            continue;
        }
        // Through the mutex itself, which the analysis knows this function
        // holds; `lock` owns it again by the time it goes.
        mutex_.Unlock();
        const bool filled = FillPiece(piece);
        mutex_.Lock();
        FinishPiece(block, filled);
    }
}

void BlockCache::RetireBlock(Block& block, platform::MutexLock& lock) {
    std::erase(fillQueue_, &block);
    Block::State& state = block.state.With(mutex_);
    state.unclaimed = state.validLength;
    while (block.state.With(mutex_).piecesInFlight != 0)
        lock.Wait(blockFilled_);
    block.state.With(mutex_).filling = false;
}

// The blocks leave the lists before they are retired, so nobody finds one
// that is about to go while the retiring waits for the loader.
void BlockCache::ReleaseAllBlocks(platform::MutexLock& lock) {
    std::vector<BlockPtr> blocks = std::move(cachedBlocks_);
    cachedBlocks_.clear();
    for (BlockPtr& spare : spareBlocks_)
        blocks.push_back(std::move(spare));
    spareBlocks_.clear();
    for (const BlockPtr& block : blocks)
        RetireBlock(*block, lock);
    ownedBlocks_ -= blocks.size();
}

void BlockCache::LoaderLoop() {
    platform::MutexLock lock(mutex_);
    Piece piece{};
    while (true) {
        while (!stopLoader_ && fillQueue_.empty())
            lock.Wait(queueChanged_);
        if (stopLoader_)
            return;
        Block* block = fillQueue_.front();
        const bool claimed = ClaimPiece(*block, piece);
        const Block::State& state = block->state.With(mutex_);
        if (state.unclaimed >= state.validLength)
            fillQueue_.pop_front();
        if (!claimed)
            continue;
        lock.Unlock();
        const bool filled = FillPiece(piece);
        lock.Lock();
        FinishPiece(*block, filled);
    }
}

std::vector<BlockCache::BlockView> BlockCache::CachedBlocks() const {
    platform::MutexLock lock(mutex_);
    std::vector<BlockView> views;
    views.reserve(cachedBlocks_.size());
    for (const BlockPtr& block : cachedBlocks_) {
        const Block::State& state = block->state.With(mutex_);
        views.push_back({state.start, state.validLength, state.lastUse, state.used});
    }
    return views;
}

size_t BlockCache::SpareBlockCount() const {
    platform::MutexLock lock(mutex_);
    return spareBlocks_.size();
}

uint64_t BlockCache::LoadedBlockCount() const {
    platform::MutexLock lock(mutex_);
    return loadedBlocks_;
}

size_t BlockCache::HeldBlockCount() const {
    platform::MutexLock lock(mutex_);
    return heldBlocks_;
}
