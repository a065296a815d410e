#include "archive/bs100MMemRead.h"

#include <algorithm>
#include <cstring>

bs100MMemRead::bs100MMemRead(bsFileRead* source)
    : bs100MMemRead(std::make_shared<BlockCache>(source)) {}

bs100MMemRead::bs100MMemRead(std::shared_ptr<BlockCache> cache)
    : cache_(std::move(cache)), readerId_(cache_->AddReader(0)) {}

bs100MMemRead::~bs100MMemRead() {
    cache_->Release(current_);
    cache_->RemoveReader(readerId_);
}

void bs100MMemRead::SetBlockSize(int64_t bytes) {
    cache_->Release(current_);
    cache_->SetBlockSize(bytes);
}

// A block loaded in the background lies ahead of the reader, which has not
// moved there.
bool bs100MMemRead::LoadBlock(BlockCache::LoadMode mode) {
    const int mover = mode == BlockCache::LoadMode::Now ? readerId_ : -1;
    current_ = cache_->Switch(mover, current_, position_, mode);
    return current_.block != nullptr;
}

iArc& bs100MMemRead::SerializeBytes(void* data, uint64_t count) {
    auto* out = static_cast<uint8_t*>(data);
    if (out == nullptr)
        return *this;
    const uint64_t length = Size();
    while (true) {
        const uint64_t remaining = position_ < length ? length - position_ : 0;
        count = std::min(count, remaining);
        if (count == 0)
            return *this;
        if (!current_.Contains(position_)) {
            if (!LoadBlock())
                return *this;
            continue;
        }
        if (!cache_->MarkRead(current_)) {
            // Let go, so that the block leaves the cache and a later read
            // tries the file again.
            cache_->Release(current_);
            readFailed_ = true;
            return *this;
        }
        const uint64_t offset = position_ - current_.start;
        const uint64_t chunk = std::min(count, current_.validLength - offset);
        std::memcpy(out, current_.data + offset, static_cast<size_t>(chunk));
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
            inRange = target <= Size();
            break;
        case 1:
            inRange = OffsetTarget(position_, offset, target);
            break;
        case 2:
            inRange = OffsetTarget(Size(), offset, target);
            break;
        default:
            break;
    }
    if (inRange)
        position_ = target;
    if (!current_.Contains(position_))
        LoadBlock();
    return true;
}

// Worked out without overflow: an offset near the 64-bit limits is refused
// like any other target outside [0, length].
bool bs100MMemRead::OffsetTarget(uint64_t base, int64_t offset, uint64_t& target) {
    const uint64_t length = Size();
    if (offset >= 0) {
        const auto forward = static_cast<uint64_t>(offset);
        if (base > length || forward > length - base)
            return false;
        target = base + forward;
        return true;
    }
    const uint64_t back = 0 - static_cast<uint64_t>(offset);
    if (back > base || base - back > length)
        return false;
    target = base - back;
    return true;
}

void bs100MMemRead::ReadAhead(uint64_t count) {
    const uint64_t remembered = position_;
    const uint64_t length = Size();
    const uint64_t remaining = position_ < length ? length - position_ : 0;
    if (count >= remaining)
        count = remaining;
    const auto blockBytes = static_cast<uint64_t>(BlockSize());
    while (count > 0) {
        if (count < blockBytes) {
            position_ += count;
            LoadBlock(BlockCache::LoadMode::InBackground);
            break;
        }
        position_ += blockBytes;
        count -= blockBytes;
        LoadBlock(BlockCache::LoadMode::InBackground);
    }
    position_ = remembered;
    if (!current_.Contains(position_))
        LoadBlock();
}
