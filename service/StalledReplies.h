#pragma once

#include <cstdint>

#include "service/ServiceState.h"

// A headset whose reply has not moved for this long has stopped reading.
constexpr uint32_t kStalledReplyMs = 10000;

// What a stalled headset got ends in the middle of a reply, so the
// connection can never be read in step again: ends and releases it.
void ReleaseStalledSessions(ServiceState& state);
