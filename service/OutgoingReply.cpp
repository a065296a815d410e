#include "service/OutgoingReply.h"

#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>

#include "platform/OperatorLog.h"

namespace {

enum class SendResult { Sent, NoRoom, Failed };

// Runs of the payload one send is offered at most.
constexpr size_t kMaxRuns = 64;
// Where the zeros past the end of a file come from.
const uint8_t kZeros[65536] = {};

// One non-blocking send; `sent` counts what it took.
SendResult SendOnce(SendCall sendCall, int socket, const iovec* runs, size_t count, size_t& sent) {
    msghdr message{};
    message.msg_iov = const_cast<iovec*>(runs);
    message.msg_iovlen = count;
    while (true) {
        const ssize_t taken = sendCall(socket, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (taken > 0) {
            sent = static_cast<size_t>(taken);
            return SendResult::Sent;
        }
        if (taken == 0)
            return SendResult::NoRoom;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? SendResult::NoRoom : SendResult::Failed;
    }
}

}  // namespace

// The runs of the next piece, and the blocks they point into, held until the
// send has copied them.
struct OutgoingReply::Gathered {
    std::array<iovec, kMaxRuns> runs{};
    size_t count = 0;
    size_t bytes = 0;
    std::vector<BlockCache::Held> held;
    bool missing = false;  // stopped at file bytes that are not in memory

    void Add(const uint8_t* data, size_t length) {
        runs[count++] = {const_cast<uint8_t*>(data), length};
        bytes += length;
    }
};

OutgoingReply::OutgoingReply(ReplyParts&& parts, std::shared_ptr<BlockCache> cache)
    : cache_(std::move(cache)) {
    Assemble(std::move(parts));
    if (cache_) {
        uint64_t from = 0;
        (void)NextFileOffset(from);
        readerId_ = cache_->AddReader(from);
    }
}

void OutgoingReply::Assemble(ReplyParts&& parts) {
    bytes_ = std::move(parts.bytes);
    ifUnreadable_ = std::move(parts.ifUnreadable);
    segments_.clear();
    segment_ = 0;
    payloadSize_ = 0;
    uint64_t size = bytes_.size();
    for (const ReplyParts::FileRange& range : parts.fileRanges)
        size += range.length;
    const size_t ownBytes = bytes_.size();
    bytes_.resize(ownBytes + ReplyPaddingFor(size), 0);
    size_t taken = 0;
    for (const ReplyParts::FileRange& range : parts.fileRanges) {
        const size_t at = std::clamp(range.at, taken, ownBytes);
        AddSegment(false, taken, at - taken);
        AddSegment(true, range.fileOffset, range.length);
        taken = at;
    }
    AddSegment(false, taken, bytes_.size() - taken);
    for (size_t i = 0; i < kReplyLengthBytes; ++i)
        length_[i] = static_cast<uint8_t>(payloadSize_ >> (8 * i));
}

OutgoingReply::~OutgoingReply() {
    if (cache_) {
        cache_->Release(broughtIn_);
        cache_->RemoveReader(readerId_);
    }
}

void OutgoingReply::AddSegment(bool fromFile, uint64_t source, uint64_t length) {
    if (length == 0)
        return;
    segments_.push_back({payloadSize_, length, fromFile, source});
    payloadSize_ += length;
}

size_t OutgoingReply::HeldBytes() const {
    return bytes_.capacity() + segments_.capacity() * sizeof(Segment) + ifUnreadable_.capacity();
}

// Takes the runs of the next piece, up to the first file bytes not in memory.
// The first piece waits for the first file bytes it carries: until the head
// has gone, a file that cannot be read can still be told with a status.
bool OutgoingReply::Gather(Gathered& gathered) {
    uint64_t position = payloadSent_;
    const uint64_t limit = std::min<uint64_t>(kMaxPiece, payloadSize_ - payloadSent_);
    for (size_t index = segment_;
         index < segments_.size() && gathered.bytes < limit && gathered.count < kMaxRuns;) {
        const Segment& segment = segments_[index];
        const uint64_t into = position - segment.payloadStart;
        uint64_t length = std::min(segment.length - into, limit - gathered.bytes);
        if (!segment.fromFile) {
            gathered.Add(bytes_.data() + segment.source + into, length);
        } else if (const uint64_t offset = segment.source + into;
                   !cache_ || offset >= cache_->Length()) {
            // Past the end of the file: zeros, as a read that delivers nothing leaves.
            length = std::min<uint64_t>(length, sizeof kZeros);
            gathered.Add(kZeros, length);
        } else {
            BlockCache::Held block;
            if (!cache_->TryHold(offset, block)) {
                gathered.missing = true;
                if (BytesSent() == 0 && gathered.held.empty())
                    gathered.count = 0;
                break;
            }
            length = std::min(length, block.start + block.validLength - offset);
            gathered.Add(block.data + (offset - block.start), length);
            gathered.held.push_back(block);
        }
        position += length;
        if (position == segment.payloadStart + segment.length)
            ++index;
    }
    return gathered.count > 0;
}

void OutgoingReply::ReleaseHeld(std::vector<BlockCache::Held>& held) {
    for (BlockCache::Held& block : held)
        cache_->Release(block);
}

bool OutgoingReply::NextFileOffset(uint64_t& offset) const {
    for (size_t index = segment_; index < segments_.size(); ++index) {
        const Segment& segment = segments_[index];
        if (!segment.fromFile)
            continue;
        offset =
            segment.source + (std::max(payloadSent_, segment.payloadStart) - segment.payloadStart);
        return true;
    }
    return false;
}

// Ahead of the next file bytes to send, or once they have all gone, ahead
// of the last of them: a headset playing through the file asks for those next.
void OutgoingReply::ReadAhead() {
    uint64_t from = 0;
    if (NextFileOffset(from)) {
        cache_->MoveReader(readerId_, from);
        cache_->Prefetch(from, kReadAheadBytes);
        return;
    }
    for (auto segment = segments_.rbegin(); segment != segments_.rend(); ++segment) {
        if (segment->fromFile) {
            cache_->Prefetch(segment->source + segment->length, kReadAheadBytes);
            return;
        }
    }
}

OutgoingReply::Outcome OutgoingReply::SendPiece(int socket, SendCall sendCall) {
    if (unreadable_) {
        if (BytesSent() != 0 || ifUnreadable_.empty())
            return Outcome::Unreadable;
        cache_->Release(broughtIn_);
        unreadable_ = false;
        Assemble(ReplyParts{std::move(ifUnreadable_), {}, {}});
    }
    Gathered gathered;
    if (payloadSent_ < payloadSize_ && !Gather(gathered)) {
        ReleaseHeld(gathered.held);
        return gathered.missing ? Outcome::NeedsData : Outcome::NoRoom;
    }
    // A length cut short would leave the headset out of step for good, so it
    // is finished before any of the payload goes.
    while (lengthSent_ < kReplyLengthBytes) {
        const iovec rest{length_ + lengthSent_, kReplyLengthBytes - lengthSent_};
        size_t sent = 0;
        const SendResult result = SendOnce(sendCall, socket, &rest, 1, sent);
        if (result != SendResult::Sent) {
            ReleaseHeld(gathered.held);
            return result == SendResult::Failed ? Outcome::Failed : Outcome::NoRoom;
        }
        lengthSent_ += sent;
    }
    if (payloadSent_ == payloadSize_)
        return Outcome::NoRoom;
    size_t sent = 0;
    const SendResult result =
        SendOnce(sendCall, socket, gathered.runs.data(), gathered.count, sent);
    ReleaseHeld(gathered.held);
    if (result != SendResult::Sent)
        return result == SendResult::Failed ? Outcome::Failed : Outcome::NoRoom;
    payloadSent_ += sent;
    while (segment_ < segments_.size() &&
           segments_[segment_].payloadStart + segments_[segment_].length <= payloadSent_) {
        ++segment_;
    }
    if (cache_) {
        cache_->Release(broughtIn_);
        ReadAhead();
    }
    return Outcome::PieceSent;
}

void OutgoingReply::BringInData() {
    uint64_t offset = 0;
    if (!cache_ || !NextFileOffset(offset) || offset >= cache_->Length())
        return;
    BlockCache::Held none;
    cache_->Release(broughtIn_);
    broughtIn_ = cache_->Switch(readerId_, none, offset, BlockCache::LoadMode::Now);
    if (broughtIn_.block == nullptr) {
        platform::LogForOperator("no memory to read a reply's file bytes at offset " +
                                 std::to_string(offset));
        unreadable_ = true;
        return;
    }
    // The file's own error is told where the read failed.
    if (!cache_->MarkRead(broughtIn_)) {
        cache_->Release(broughtIn_);
        unreadable_ = true;
        return;
    }
    cache_->Prefetch(offset, kReadAheadBytes);
}
