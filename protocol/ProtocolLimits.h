#pragma once

#include <cstddef>
#include <cstdint>

// A request must arrive in one receive of fewer than 8192 bytes.
constexpr size_t kMaxRequestBytes = 8191;

// The longest title name a description carries.
constexpr size_t kMaxTitleBytes = 1023;

// Index records sent with the opening of a packaged title, and at most with
// one fetch of its data.
constexpr int32_t kRecordsOnOpen = 200;
constexpr int32_t kRecordsPerFetch = 10000;

// Any host on the network may ask; a reply must never grow past what a
// headset could want. One chunk, and all chunks of one reply, at most.
constexpr int64_t kMaxChunkBytes = 64 * 1048576;
constexpr int64_t kMaxReplyChunkBytes = 256 * 1048576;

// The replies held for all headsets together, and those being made, stay
// within this: a request is read only while the largest reply any request
// may get fits beside them. A title whose reply could never fit is no title.
constexpr size_t kReplyBudget = 512 * 1048576;

// Room for the frame, head and padding the reply budget keeps for any reply.
constexpr size_t kReplyFraming = 64;
