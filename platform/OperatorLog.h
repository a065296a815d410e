#pragma once

#include <string_view>

namespace platform {

// How much the operator is told: errors only, also the headsets' comings,
// goings and choices, or also every request.
enum class OperatorDetail { Errors, Events, Requests };

// One line for whoever runs the service: a problem it cannot tell a headset
// about but that an operator may want to know of. Goes to standard error,
// after a time stamp, unless a front end or a test has put a sink of its own
// in place. Errors are always written. Any thread may call it; the sink is
// called for one line at a time.
void LogForOperator(std::string_view line);

// Whether lines of `detail` are wanted; cheap enough for every request, so
// that callers format nothing the operator does not want.
bool OperatorWants(OperatorDetail detail);

// The detail wanted from now on; Errors until a front end says otherwise.
void SetOperatorDetail(OperatorDetail detail);

// Replaces where the lines go; nullptr restores standard error. Not for use
// while the service runs.
using OperatorLogSink = void (*)(std::string_view line);
void SetOperatorLogSink(OperatorLogSink sink);

}  // namespace platform
