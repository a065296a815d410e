#pragma once

#include <cstdint>

#include "platform/SocketBufferLimits.h"

// Every headset connection should have 16 MiB of buffer each way, and never
// less than the system gives it anyway.
constexpr int kMinSocketBufferBytes = 16777216;

// Where the forcing options are refused (they need privileges), a plain
// request is cut to the kernel's cap and switches the kernel's own tuning off
// for that socket. True when the capped request still leaves the larger
// buffer; false when the tuning would grow it further.
bool PlainRequestBeatsAutotuning(int64_t wanted, const platform::SocketBufferLimits& limits);

// Raises both buffers of a connected socket as far as we are allowed to.
void EnlargeSocketBuffers(int descriptor);
