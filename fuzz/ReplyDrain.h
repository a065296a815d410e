#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Socket.h"

// What the headset learns from the front of one reply.
struct ReplyHead {
    uint32_t length = 0;  // of the payload, padding included
    int32_t code = 0;
    int32_t status = 0;
};

// The headset end of a socket pair. A thread of its own reads every reply as
// it arrives, so that no reply ever waits for room in the socket, checks its
// framing and keeps its code and status.
class ReplyDrain {
public:
    ReplyDrain();
    ~ReplyDrain();
    ReplyDrain(const ReplyDrain&) = delete;
    ReplyDrain& operator=(const ReplyDrain&) = delete;

    // The end a ClientSession sends its replies on.
    int SessionEnd() const { return sessionEnd_.Descriptor(); }

    // Waits until the headset has read everything sent so far and returns
    // the replies since the last call.
    std::vector<ReplyHead> TakeReplies();

private:
    void ReadReplies();
    bool ReadExactly(uint8_t* data, size_t count);
    bool Discard(size_t count);

    platform::Socket sessionEnd_;
    platform::Socket headsetEnd_;
    std::mutex mutex_;
    std::condition_variable marked_;
    std::vector<ReplyHead> replies_;
    uint64_t marks_ = 0;
    std::thread reader_;
};
