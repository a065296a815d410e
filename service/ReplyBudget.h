#pragma once

#include <cstddef>

#include "protocol/ProtocolLimits.h"
#include "service/ServiceState.h"

// The bytes of all replies not yet sent, kept up to date through a pass.
// A budget below the largest reply (a start in a small memory cgroup) still
// lets one request in at a time.
struct ReplyRoom {
    size_t budget = kReplyBudget;
    size_t held = 0;
    size_t largestReply = 0;  // that any request may get

    bool FitsAnyReply() const { return held == 0 || held + largestReply <= budget; }
};

// A request in hand counts with the largest reply it may get, which is
// not known before its handler is done.
ReplyRoom MeasureReplyRoom(const ServiceState& state);
