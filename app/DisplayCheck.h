#pragma once

#include <cstdlib>
#include <string>
#include <string_view>

// Whether Qt can be expected to open a window, judged from the environment
// before any Qt object exists: Qt aborts the process when it cannot, which
// leaves no room to say what to do instead. `variable` reads one variable of
// the environment (nullptr when unset).
using EnvironmentLookup = const char* (*)(const char* name);
bool HasDisplay(EnvironmentLookup variable);

// The process's own environment, as an EnvironmentLookup.
inline const char* ProcessEnvironment(const char* name) {
    return std::getenv(name);
}

// The variable's value; empty when it is unset.
inline std::string EnvironmentValue(EnvironmentLookup variable, const char* name) {
    const char* value = variable(name);
    return value != nullptr ? value : "";
}

// What the window mode says when there is no display.
extern const char kNoDisplayText[];
