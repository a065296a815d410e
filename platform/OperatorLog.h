#pragma once

#include <string_view>

namespace platform {

// One line for whoever runs the service: a problem it cannot tell a headset
// about but that an operator may want to know of. Goes to standard error
// unless a front end or a test has put a sink of its own in place.
void LogForOperator(std::string_view line);

// Replaces where the lines go; nullptr restores standard error. Not for use
// while the service runs.
using OperatorLogSink = void (*)(std::string_view line);
void SetOperatorLogSink(OperatorLogSink sink);

}  // namespace platform
