#include "ReplyDrain.h"

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "FuzzCheck.h"

namespace {

// No reply is shorter than its code and status, padded to a 16-byte unit
// with its length field; a zero length is the drain's own mark.
constexpr uint32_t kShortestReply = 12;
constexpr uint32_t kFrameUnit = 16;
constexpr uint8_t kMark[4] = {0, 0, 0, 0};
// Far above the 10 s a reply may wait for room in the socket.
constexpr auto kMarkTimeout = std::chrono::seconds(30);
constexpr int kSocketBufferBytes = 16 * 1048576;

uint32_t LittleEndian32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

}  // namespace

ReplyDrain::ReplyDrain() {
    int ends[2] = {-1, -1};
    FUZZ_CHECK(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0);
    sessionEnd_ = platform::Socket(ends[0]);
    headsetEnd_ = platform::Socket(ends[1]);
    // Room for a whole reply piece or more, as the connection loop gives a
    // headset's connection: a long reply then goes in a few sends, not in
    // hundreds of hand-overs between the two threads.
    const int bytes = kSocketBufferBytes;
    if (setsockopt(ends[0], SOL_SOCKET, SO_SNDBUFFORCE, &bytes, sizeof bytes) != 0)
        (void)setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
    reader_ = std::thread([this] { ReadReplies(); });
}

ReplyDrain::~ReplyDrain() {
    (void)shutdown(sessionEnd_.Descriptor(), SHUT_WR);
    reader_.join();
}

std::vector<ReplyHead> ReplyDrain::TakeReplies() {
    std::unique_lock lock(mutex_);
    const uint64_t wanted = marks_ + 1;
    // Sent unlocked: the mark may wait for room that the reader makes.
    lock.unlock();
    FUZZ_CHECK(send(SessionEnd(), kMark, sizeof kMark, MSG_NOSIGNAL) == sizeof kMark);
    lock.lock();
    FUZZ_CHECK(marked_.wait_for(lock, kMarkTimeout, [&] { return marks_ >= wanted; }));
    return std::exchange(replies_, {});
}

void ReplyDrain::ReadReplies() {
    uint8_t lengthBytes[4];
    while (ReadExactly(lengthBytes, sizeof lengthBytes)) {
        const uint32_t length = LittleEndian32(lengthBytes);
        if (length == 0) {
            std::lock_guard lock(mutex_);
            ++marks_;
            marked_.notify_all();
            continue;
        }
        FUZZ_CHECK(length >= kShortestReply && (length + 4) % kFrameUnit == 0);
        uint8_t front[8];
        FUZZ_CHECK(ReadExactly(front, sizeof front));
        FUZZ_CHECK(Discard(length - sizeof front));
        const ReplyHead head{length, static_cast<int32_t>(LittleEndian32(front)),
                             static_cast<int32_t>(LittleEndian32(front + 4))};
        std::lock_guard lock(mutex_);
        replies_.push_back(head);
    }
}

bool ReplyDrain::ReadExactly(uint8_t* data, size_t count) {
    while (count > 0) {
        const ssize_t got = recv(headsetEnd_.Descriptor(), data, count, 0);
        if (got <= 0)
            return false;
        data += got;
        count -= static_cast<size_t>(got);
    }
    return true;
}

bool ReplyDrain::Discard(size_t count) {
    static thread_local uint8_t scratch[1048576];
    while (count > 0) {
        const size_t piece = std::min(count, sizeof scratch);
        if (!ReadExactly(scratch, piece))
            return false;
        count -= piece;
    }
    return true;
}
