#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// The system call replies go out through; tests put in one that takes fewer
// bytes than it is offered, as a full socket buffer may.
using SendCall = ssize_t (*)(int socket, const void* data, size_t count, int flags);

// One framed reply on its way to a headset: its 32-bit length, then the
// payload padded with zeros so that length field and payload fill whole
// 16-byte units. It goes out a piece at a time, never blocking, so that the
// one worker thread can send to every headset in turn.
class OutgoingReply {
public:
    // The largest share of the payload one send is offered.
    static constexpr size_t kMaxPiece = 400000;

    enum class Outcome {
        PieceSent,  // some of the payload went out: the next piece waits its turn
        NoRoom,     // the socket buffer is full, or only the length fit
        Failed,     // the connection is broken; the rest of the reply is dropped
    };

    // Takes the payload and pads it in place.
    explicit OutgoingReply(std::vector<uint8_t>&& payload);

    // Sends what is left of the length field, which is not paced, then offers
    // at most one piece of the payload.
    Outcome SendPiece(int socket, SendCall sendCall = ::send);

    bool Finished() const { return lengthSent_ == kLengthBytes && payloadSent_ == payload_.size(); }
    // Bytes handed to the socket so far, length field included.
    uint64_t BytesSent() const { return lengthSent_ + payloadSent_; }
    // The memory the reply holds until it is sent.
    size_t HeldBytes() const { return payload_.capacity(); }

private:
    static constexpr size_t kLengthBytes = 4;

    std::vector<uint8_t> payload_;
    uint8_t length_[kLengthBytes];
    size_t lengthSent_ = 0;
    size_t payloadSent_ = 0;
};
