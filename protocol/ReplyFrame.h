#pragma once

#include <cstddef>

// Every reply goes out as a 32-bit little-endian length, then the payload
// padded with zeros so that length field and payload fill whole 16-byte units.
constexpr size_t kReplyLengthBytes = 4;
constexpr size_t kReplyFrameUnit = 16;

// The zeros that follow a payload of `payloadBytes`.
constexpr size_t ReplyPaddingFor(size_t payloadBytes) {
    const size_t framed = payloadBytes + kReplyLengthBytes;
    return framed % kReplyFrameUnit == 0 ? 0 : kReplyFrameUnit - framed % kReplyFrameUnit;
}

// True for a payload, as a headset receives it, that is padded as it must be.
constexpr bool FillsWholeFrames(size_t payloadBytes) {
    return ReplyPaddingFor(payloadBytes) == 0;
}
