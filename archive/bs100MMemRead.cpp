#include "archive/bs100MMemRead.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/Clock.h"

namespace {

constexpr size_t kHugePageSize = 2097152;
// Blocks are filled in pieces so that a reader that reaches a block still
// being filled can fill the rest alongside the loader instead of waiting.
constexpr int64_t kFillPiece = 1048576;

}  // namespace

bs100MMemRead::bs100MMemRead(bsFileRead* source)
    : lastCleanupTime_(platform::TimeGetTime()), source_(source) {
    if (source_ != nullptr)
        length_ = source_->Size();
}

bs100MMemRead::~bs100MMemRead() {
    StopLoader();
    ReleaseAllBlocks();
}

// Blocks of a huge page or more are aligned to huge pages and ask the kernel
// for them: a 4 MiB block then costs two page faults and two TLB entries
// instead of a thousand. Nothing is rounded up, so the cache's bound holds for
// any block size.
bs100MMemRead::BlockData bs100MMemRead::AllocateBlockData(size_t bytes) {
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

// A file shorter than a block never fills one, wherever the block starts.
size_t bs100MMemRead::BlockCapacity() const {
    return static_cast<size_t>(
        std::max<uint64_t>(1, std::min(static_cast<uint64_t>(blockSize_), length_)));
}

void bs100MMemRead::ReleaseAllBlocks() {
    {
        // Pieces being written into must be finished before the memory goes.
        platform::MutexLock lock(mutex_);
        for (const BlockPtr& block : cachedBlocks_)
            RetireBlock(*block, lock);
        for (const BlockPtr& block : spareBlocks_)
            RetireBlock(*block, lock);
    }
    currentBlock_ = nullptr;
    cachedBlocks_.clear();
    spareBlocks_.clear();
}

void bs100MMemRead::SetBlockSize(int64_t bytes) {
    ReleaseAllBlocks();
    blockSize_ = bytes < kMinBlockSize ? kMinBlockSize : std::min(bytes, kMaxBlockSize);
}

size_t bs100MMemRead::MaxCachedBlocks() const {
    const uint64_t blockBytes = static_cast<uint64_t>(blockSize_);
    const uint64_t bound = std::max(kCacheBoundBytes, 3 * blockBytes);
    return static_cast<size_t>(bound / blockBytes);
}

bool bs100MMemRead::Contains(const Block& block, uint64_t position) const {
    const auto start = static_cast<uint64_t>(block.start);
    return start <= position && position < start + static_cast<uint64_t>(block.validLength);
}

bs100MMemRead::Block* bs100MMemRead::FindCachedBlock(uint64_t position) const {
    // The last block whose start is not above the position.
    auto after = std::upper_bound(cachedBlocks_.begin(), cachedBlocks_.end(), position,
                                  [](uint64_t value, const BlockPtr& block) {
                                      return value < static_cast<uint64_t>(block->start);
                                  });
    if (after == cachedBlocks_.begin())
        return nullptr;
    Block* candidate = std::prev(after)->get();
    return Contains(*candidate, position) ? candidate : nullptr;
}

void bs100MMemRead::RunAgeRule() {
    const uint32_t now = platform::TimeGetTime();
    if (static_cast<uint32_t>(now - lastCleanupTime_) <= kCleanupIntervalMs)
        return;
    if (!spareBlocks_.empty())
        return;
    lastCleanupTime_ = now;
    for (auto it = cachedBlocks_.begin(); it != cachedBlocks_.end(); ++it) {
        Block& block = **it;
        if (&block == currentBlock_ || !block.used)
            continue;
        if (static_cast<uint32_t>(now - block.lastUse) < kBlockMaxAgeMs)
            continue;
        spareBlocks_.push_back(std::move(*it));
        cachedBlocks_.erase(it);
        return;  // at most one block per run
    }
}

bs100MMemRead::BlockPtr bs100MMemRead::TakeBlockForMiss() {
    BlockPtr reused;
    if (!spareBlocks_.empty()) {
        reused = std::move(spareBlocks_.front());
        spareBlocks_.erase(spareBlocks_.begin());
    } else if (cachedBlocks_.size() >= MaxCachedBlocks()) {
        // Recycle the least recently used block other than the current one,
        // reusing its memory, so the cache stays within its bound.
        auto victim = cachedBlocks_.end();
        for (auto it = cachedBlocks_.begin(); it != cachedBlocks_.end(); ++it) {
            if (it->get() == currentBlock_)
                continue;
            if (victim == cachedBlocks_.end() || (*it)->recentUse < (*victim)->recentUse) {
                victim = it;
            }
        }
        if (victim != cachedBlocks_.end()) {
            reused = std::move(*victim);
            cachedBlocks_.erase(victim);
        }
    }
    if (reused) {
        // The loader may still hold an entry or a piece of the block's old
        // range; the block is rewritten only once it has let go of both.
        platform::MutexLock lock(mutex_);
        RetireBlock(*reused, lock);
        return reused;
    }
    BlockData data = AllocateBlockData(BlockCapacity());
    if (!data)
        return nullptr;
    auto block = std::make_unique<Block>();
    block->data = std::move(data);
    return block;
}

void bs100MMemRead::PrepareBlock(Block& block) {
    block.start = static_cast<int64_t>(position_ / static_cast<uint64_t>(blockSize_)) * blockSize_;
    block.validLength = std::min<int64_t>(blockSize_, static_cast<int64_t>(length_) - block.start);
    block.lastUse = platform::TimeGetTime();
    block.used = false;
    Touch(block);
}

void bs100MMemRead::FillPiece(const Piece& piece) const {
    // Reading by offset leaves the source's own position where its owner put it.
    const uint64_t delivered = source_->ReadAt(piece.fileOffset, piece.target, piece.count);
    // A file that shrank since it was opened delivers less than its old
    // length promised; the missing bytes read as zero, never as stale memory.
    if (delivered < piece.count) {
        std::memset(piece.target + delivered, 0, static_cast<size_t>(piece.count - delivered));
    }
}

void bs100MMemRead::FillBlock(Block& block) const {
    FillPiece({static_cast<uint64_t>(block.start), block.data.get(),
               static_cast<uint64_t>(block.validLength)});
}

void bs100MMemRead::InsertSorted(BlockPtr block) {
    auto place = std::lower_bound(
        cachedBlocks_.begin(), cachedBlocks_.end(), block->start,
        [](const BlockPtr& cached, int64_t start) { return cached->start < start; });
    cachedBlocks_.insert(place, std::move(block));
}

bool bs100MMemRead::LoadBlock(LoadMode mode) {
    if (source_ == nullptr || position_ >= length_) {
        currentBlock_ = nullptr;
        return false;
    }
    if (currentBlock_ != nullptr && Contains(*currentBlock_, position_))
        return true;

    if (Block* found = FindCachedBlock(position_)) {
        if (currentBlock_ != nullptr)
            currentBlock_->lastUse = platform::TimeGetTime();
        currentBlock_ = found;
        Touch(*found);
        return true;
    }

    RunAgeRule();
    BlockPtr block = TakeBlockForMiss();
    if (!block) {
        currentBlock_ = nullptr;
        return false;
    }
    PrepareBlock(*block);
    ++loadedBlocks_;
    if (mode == LoadMode::InBackground) {
        QueueFill(*block);
    } else {
        FillBlock(*block);
    }
    currentBlock_ = block.get();
    InsertSorted(std::move(block));
    return true;
}

iArc& bs100MMemRead::SerializeBytes(void* data, uint64_t count) {
    auto* out = static_cast<uint8_t*>(data);
    if (out == nullptr)
        return *this;
    while (true) {
        const uint64_t remaining = position_ < length_ ? length_ - position_ : 0;
        if (count > remaining)
            count = remaining;
        if (count == 0)
            return *this;

        Block* block = currentBlock_;
        if (block == nullptr || !Contains(*block, position_)) {
            if (!LoadBlock())
                return *this;
            continue;
        }
        WaitUntilFilled(*block);

        block->used = true;
        // Deliberately the start time, not now: a block that has been read is
        // then old enough for the age rule as soon as the program has run 100 s.
        block->lastUse = platform::ProcessStartTime();
        Touch(*block);
        const uint64_t offset = position_ - static_cast<uint64_t>(block->start);
        const uint64_t available = static_cast<uint64_t>(block->validLength) - offset;
        const uint64_t chunk = std::min(count, available);
        std::memcpy(out, block->data.get() + offset, static_cast<size_t>(chunk));
        out += chunk;
        position_ += chunk;
        count -= chunk;
        if (count == 0)
            return *this;
        if (!LoadBlock())
            return *this;
    }
}

bool bs100MMemRead::Seek(int64_t offset, int origin) {
    uint64_t target = 0;
    bool inRange = false;
    switch (origin) {
        case 0:
            target = static_cast<uint64_t>(offset);
            inRange = target <= length_;
            break;
        case 1:
            inRange = OffsetTarget(position_, offset, target);
            break;
        case 2:
            inRange = OffsetTarget(length_, offset, target);
            break;
        default:
            break;
    }
    if (inRange)
        position_ = target;
    if (currentBlock_ == nullptr || !Contains(*currentBlock_, position_))
        LoadBlock();
    return true;
}

// Worked out without overflow: an offset near the 64-bit limits is refused
// like any other target outside [0, length].
bool bs100MMemRead::OffsetTarget(uint64_t base, int64_t offset, uint64_t& target) const {
    if (offset >= 0) {
        const auto forward = static_cast<uint64_t>(offset);
        if (base > length_ || forward > length_ - base)
            return false;
        target = base + forward;
        return true;
    }
    const uint64_t back = 0 - static_cast<uint64_t>(offset);
    if (back > base || base - back > length_)
        return false;
    target = base - back;
    return true;
}

void bs100MMemRead::ReadAhead(uint64_t count) {
    const uint64_t remembered = position_;
    const uint64_t remaining = position_ < length_ ? length_ - position_ : 0;
    if (count >= remaining)
        count = remaining;
    const auto blockBytes = static_cast<uint64_t>(blockSize_);
    while (count > 0) {
        if (count < blockBytes) {
            position_ += count;
            LoadBlock(LoadMode::InBackground);
            break;
        }
        position_ += blockBytes;
        count -= blockBytes;
        LoadBlock(LoadMode::InBackground);
    }
    position_ = remembered;
    if (currentBlock_ == nullptr || !Contains(*currentBlock_, position_))
        LoadBlock();
}

void bs100MMemRead::QueueFill(Block& block) {
    platform::MutexLock lock(mutex_);
    if (!loader_.joinable())
        loader_ = std::thread([this] { LoaderLoop(); });
    // The block was retired before it was prepared, so no piece of it is in
    // flight and no entry for it is queued.
    FillState& fill = block.fill.With(mutex_);
    fill.filling = true;
    fill.start = block.start;
    fill.length = block.validLength;
    fill.unclaimed = 0;
    fillQueue_.push_back(&block);
    queueChanged_.notify_one();
}

bool bs100MMemRead::ClaimPiece(Block& block, Piece& piece) {
    FillState& fill = block.fill.With(mutex_);
    if (fill.unclaimed >= fill.length)
        return false;
    const int64_t count = std::min(kFillPiece, fill.length - fill.unclaimed);
    piece.fileOffset = static_cast<uint64_t>(fill.start + fill.unclaimed);
    piece.target = block.data.get() + fill.unclaimed;
    piece.count = static_cast<uint64_t>(count);
    fill.unclaimed += count;
    ++fill.piecesInFlight;
    return true;
}

void bs100MMemRead::FinishPiece(Block& block) {
    FillState& fill = block.fill.With(mutex_);
    --fill.piecesInFlight;
    if (fill.unclaimed >= fill.length && fill.piecesInFlight == 0) {
        fill.filling = false;
        blockFilled_.notify_all();
    }
}

void bs100MMemRead::WaitUntilFilled(Block& block) {
    platform::MutexLock lock(mutex_);
    Piece piece{};
    while (block.fill.With(mutex_).filling) {
        if (!ClaimPiece(block, piece)) {
            lock.Wait(blockFilled_);
            continue;
        }
        lock.Unlock();
        FillPiece(piece);
        lock.Lock();
        FinishPiece(block);
    }
}

void bs100MMemRead::RetireBlock(Block& block, platform::MutexLock& lock) {
    std::erase(fillQueue_, &block);
    FillState& fill = block.fill.With(mutex_);
    fill.unclaimed = fill.length;
    while (fill.piecesInFlight != 0)
        lock.Wait(blockFilled_);
    fill.filling = false;
}

void bs100MMemRead::LoaderLoop() {
    platform::MutexLock lock(mutex_);
    Piece piece{};
    while (true) {
        while (!stopLoader_ && fillQueue_.empty())
            lock.Wait(queueChanged_);
        if (stopLoader_)
            return;
        Block* block = fillQueue_.front();
        const bool claimed = ClaimPiece(*block, piece);
        const FillState& fill = block->fill.With(mutex_);
        if (fill.unclaimed >= fill.length)
            fillQueue_.pop_front();
        if (!claimed)
            continue;
        lock.Unlock();
        FillPiece(piece);
        lock.Lock();
        FinishPiece(*block);
    }
}

// Runs only as the reader goes, so the stop request is never taken back.
void bs100MMemRead::StopLoader() {
    {
        platform::MutexLock lock(mutex_);
        stopLoader_ = true;
        queueChanged_.notify_one();
    }
    if (loader_.joinable())
        loader_.join();
}

std::vector<bs100MMemRead::BlockView> bs100MMemRead::CachedBlocks() const {
    std::vector<BlockView> views;
    views.reserve(cachedBlocks_.size());
    for (const BlockPtr& block : cachedBlocks_) {
        views.push_back({block->start, block->validLength, block->lastUse, block->used});
    }
    return views;
}
