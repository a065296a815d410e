#pragma once

#include <cstdint>

namespace platform {

// The process's resident memory now, and its high-water mark, in bytes; 0
// when /proc does not tell.
uint64_t ResidentBytes();
uint64_t PeakResidentBytes();

// Starts the high-water mark afresh from what is resident now, so that the
// peak of what follows can be told. False where the system does not allow
// it; the mark then still holds the earlier peak.
bool ResetPeakResident();

}  // namespace platform
