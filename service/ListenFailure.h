#pragma once

#include <optional>
#include <string>

#include "service/StartReport.h"

// Why no headset can reach a started service: no listening socket opened on
// any address. The addresses with the system's text for each ("127.0.0.1:
// bind: Address already in use"), or the reason the start ended early;
// nothing when at least one address listens.
std::optional<std::string> WhyNothingListens(const StartReport& report);
