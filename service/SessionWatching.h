#pragma once

#include "service/ReplyBudget.h"
#include "service/ReplyPacing.h"
#include "service/ServiceState.h"

// The longest one wait of the loop lasts: it bounds how late a stop is seen.
constexpr auto kLongestWait = std::chrono::milliseconds(10);

// Sets what the next wait watches each session for: room for the next
// piece of its reply, or, while the pacing holds that piece back, nothing
// but the wait ending; its next request while the replies held leave room
// for its reply; nothing while its request is in hand. Returns how long the
// wait may last: until the next piece is due, at most kLongestWait.
PacingClock::duration WatchSessions(ServiceState& state, const ReplyRoom& room,
                                    PacingClock::time_point now);

// After the wait: every session with a reply gets its next piece when it is
// due, whether the socket said it has room or the piece fell due while the
// pass waited; every other session that is readable gets its next request
// read. All in one pass, each once, starting one session further each pass.
void ServeReadySessions(ServiceState& state, ReplyRoom& room);
