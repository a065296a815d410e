#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "archive/BlockCache.h"
#include "protocol/ReplyFrame.h"

// The system call replies go out through; tests put in one that takes fewer
// bytes than it is offered, as a full socket buffer may.
using SendCall = ssize_t (*)(int socket, const msghdr* message, int flags);

// What a handler says a reply holds: its own bytes, and between them ranges
// of a file that are read from the file's block cache only as they are sent,
// so that a reply of hundreds of megabytes holds little more than one piece.
struct ReplyParts {
    // A range of the file spliced in before bytes[at]. Bytes past the end of
    // the file are zeros.
    struct FileRange {
        size_t at;
        uint64_t fileOffset;
        uint64_t length;
    };
    std::vector<uint8_t> bytes;
    std::vector<FileRange> fileRanges;
    // Sent instead, when the file cannot be read before any of the reply
    // has gone: its code and the status that says so.
    std::vector<uint8_t> ifUnreadable;
};

// One framed reply on its way to a headset. It goes out a piece at a time, never blocking, so that
// the one worker thread can send to every headset in turn. File bytes go to the socket straight
// from the blocks of the cache. Bytes the file could not give are never sent as anything else:
// before the reply has started, it turns into its failure reply; once it has, it ends (Unreadable).
class OutgoingReply {
public:
    // The largest share of the payload one send is offered.
    static constexpr size_t kMaxPiece = 400000;
    // How far the file is read ahead of what has been sent.
    static constexpr uint64_t kReadAheadBytes = 4194304;

    enum class Outcome {
        PieceSent,  // some of the payload went out: the next piece waits its turn
        NoRoom,     // the socket buffer is full, or only the length fit
        Failed,     // the connection is broken; the rest of the reply is dropped
        NeedsData,  // the next bytes of the file are not in memory: BringInData
        // The file could not be read where the reply had got to: the headset
        // has part of it and can only learn it from the connection's end.
        Unreadable,
    };

    // Takes the payload and pads it in place.
    explicit OutgoingReply(std::vector<uint8_t>&& payload)
        : OutgoingReply(ReplyParts{std::move(payload), {}, {}}, nullptr) {}
    // File ranges are read from `cache`.
    OutgoingReply(ReplyParts&& parts, std::shared_ptr<BlockCache> cache);
    ~OutgoingReply();
    OutgoingReply(const OutgoingReply&) = delete;
    OutgoingReply& operator=(const OutgoingReply&) = delete;

    // Sends what is left of the length field, which is not paced, then offers
    // at most one piece of the payload. Never waits for the file.
    Outcome SendPiece(int socket, SendCall sendCall = ::sendmsg);
    // Loads the file bytes the next piece needs, and reads ahead: may wait
    // for the disk, so it runs away from the connection loop. Where they
    // cannot be read, or no memory can be had for them, the next piece says so.
    void BringInData();

    bool Finished() const {
        return lengthSent_ == kReplyLengthBytes && payloadSent_ == payloadSize_;
    }
    // The payload's size, padding included.
    uint64_t PayloadBytes() const { return payloadSize_; }
    // Bytes handed to the socket so far, length field included.
    uint64_t BytesSent() const { return lengthSent_ + payloadSent_; }
    // The memory the reply holds until it is sent, not counting the cache.
    size_t HeldBytes() const;

private:
    // A run of the payload: bytes of the reply's own, or of the file.
    struct Segment {
        uint64_t payloadStart;
        uint64_t length;
        bool fromFile;
        uint64_t source;  // offset in bytes_, or in the file
    };
    struct Gathered;

    // Takes the reply's parts, pads the payload and writes its length.
    void Assemble(ReplyParts&& parts);
    void AddSegment(bool fromFile, uint64_t source, uint64_t length);
    bool Gather(Gathered& gathered);
    void ReleaseHeld(std::vector<BlockCache::Held>& held);
    // The file offset of the payload's next byte from the file, if any.
    bool NextFileOffset(uint64_t& offset) const;
    void ReadAhead();

    std::vector<uint8_t> bytes_;
    std::vector<Segment> segments_;
    std::vector<uint8_t> ifUnreadable_;
    std::shared_ptr<BlockCache> cache_;
    // The block the next piece starts in, held from BringInData until the
    // piece has gone.
    BlockCache::Held broughtIn_;
    // The reply's place among the readers of the cache.
    int readerId_ = -1;
    // The file's next bytes could not be brought into memory.
    bool unreadable_ = false;
    uint64_t payloadSize_ = 0;
    size_t segment_ = 0;  // the segment payloadSent_ lies in
    uint8_t length_[kReplyLengthBytes];
    size_t lengthSent_ = 0;
    uint64_t payloadSent_ = 0;
};
