#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <vector>

// The system call replies go out through; tests put in one that takes fewer
// bytes than it is offered, as a full socket buffer may.
using SendCall = ssize_t (*)(int socket, const void* data, size_t count, int flags);

// Frames one reply: its length, then the payload padded with zeros so that
// length field and payload fill whole 16-byte units. The payload is padded in
// place and sent in pieces. A failed send drops the rest silently; a raised
// `stop` ends the reply at the next piece.
void SendReply(int socket, std::vector<uint8_t>& payload, const std::atomic<bool>* stop = nullptr,
               SendCall sendCall = ::send);
