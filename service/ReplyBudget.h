#pragma once

#include <cstddef>

#include "protocol/ProtocolLimits.h"
#include "service/ServiceState.h"

// The bytes of all replies not yet sent, kept up to date through a pass.
struct ReplyRoom {
    size_t held = 0;
    size_t largestReply = 0;  // that any request may get

    bool FitsAnyReply() const { return held + largestReply <= kReplyBudget; }
};

// A request in hand counts with the largest reply it may get, which is
// not known before its handler is done.
ReplyRoom MeasureReplyRoom(const ServiceState& state);
