#pragma once

#include <cstdio>
#include <cstdlib>

// Prints the failed condition and aborts, so that libFuzzer keeps the input
// as a crash and the replay test fails.
[[noreturn]] inline void FuzzCheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", condition, file, line);
    std::abort();
}

#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : FuzzCheckFailed(#condition, __FILE__, __LINE__))
