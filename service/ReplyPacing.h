#pragma once

#include <chrono>

#include "service/ServiceState.h"

using PacingClock = std::chrono::steady_clock;

// The least time between two pieces of replies on one connection.
constexpr auto kPieceInterval = std::chrono::milliseconds(1);

// Offers the next piece of the session's reply if the pacing lets it go now,
// and holds the one after it back until kPieceInterval has passed.
void SendWhenDue(ServiceState& state, ClientSession& session);
