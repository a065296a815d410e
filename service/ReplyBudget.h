#pragma once

#include <cstddef>

#include "service/ServiceState.h"

// The replies held for all headsets together, and those being made, stay
// within this. A request is read only while the largest reply any request
// may get fits beside them.
constexpr size_t kReplyBudget = 512 * 1048576;

// The bytes of all replies not yet sent, kept up to date through a pass.
struct ReplyRoom {
    size_t held = 0;
    size_t largestReply = 0;  // that any request may get

    bool FitsAnyReply() const { return held + largestReply <= kReplyBudget; }
};

// A request in hand counts with the largest reply it may get, which is
// not known before its handler is done.
ReplyRoom MeasureReplyRoom(const ServiceState& state);
