#pragma once

// How many times longer work takes in this build. ThreadSanitizer slows
// every memory access, so copying a large reply takes many times as long;
// AddressSanitizer about doubles the time of decoding and copying. Deadlines
// that bound real work (not time-outs under test) scale by this.
#if defined(__SANITIZE_THREAD__)
constexpr int kSanitizerSlowdown = 10;
#elif defined(__SANITIZE_ADDRESS__)
constexpr int kSanitizerSlowdown = 2;
#else
constexpr int kSanitizerSlowdown = 1;
#endif
