#include "service/OutgoingReply.h"

#include <algorithm>
#include <cerrno>

#include "protocol/ReplyFrame.h"

namespace {

enum class SendResult { Sent, NoRoom, Failed };

// One non-blocking send; `sent` counts what it took.
SendResult SendOnce(SendCall sendCall, int socket, const uint8_t* data, size_t count,
                    size_t& sent) {
    while (true) {
        const ssize_t taken = sendCall(socket, data, count, MSG_NOSIGNAL | MSG_DONTWAIT);
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

OutgoingReply::OutgoingReply(std::vector<uint8_t>&& payload) : payload_(std::move(payload)) {
    payload_.resize(payload_.size() + ReplyPaddingFor(payload_.size()), 0);
    const auto length = static_cast<uint32_t>(payload_.size());
    for (size_t i = 0; i < kLengthBytes; ++i)
        length_[i] = static_cast<uint8_t>(length >> (8 * i));
}

OutgoingReply::Outcome OutgoingReply::SendPiece(int socket, SendCall sendCall) {
    // A length cut short would leave the headset out of step for good, so it
    // is finished before any of the payload goes.
    while (lengthSent_ < kLengthBytes) {
        size_t sent = 0;
        const SendResult result =
            SendOnce(sendCall, socket, length_ + lengthSent_, kLengthBytes - lengthSent_, sent);
        if (result == SendResult::Failed)
            return Outcome::Failed;
        if (result == SendResult::NoRoom)
            return Outcome::NoRoom;
        lengthSent_ += sent;
    }
    if (payloadSent_ == payload_.size())
        return Outcome::NoRoom;
    const size_t piece = std::min(payload_.size() - payloadSent_, kMaxPiece);
    size_t sent = 0;
    const SendResult result =
        SendOnce(sendCall, socket, payload_.data() + payloadSent_, piece, sent);
    if (result != SendResult::Sent)
        return result == SendResult::Failed ? Outcome::Failed : Outcome::NoRoom;
    payloadSent_ += sent;
    return Outcome::PieceSent;
}
