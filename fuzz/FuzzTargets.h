#pragma once

#include <cstddef>
#include <cstdint>

// The body of every fuzz target. libFuzzer calls them through
// LibFuzzerEntry.cpp; the corpus replay test calls them on every committed
// input. Each aborts through FUZZ_CHECK when the code under test misbehaves.
void FuzzHandleRequest(const uint8_t* data, size_t size);
void FuzzPackagedMovie(const uint8_t* data, size_t size);
void FuzzParameterSets(const uint8_t* data, size_t size);
void FuzzMemoryReader(const uint8_t* data, size_t size);
void FuzzBlockCacheReader(const uint8_t* data, size_t size);
