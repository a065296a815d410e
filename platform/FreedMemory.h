#pragma once

namespace platform {

// Gives the memory the allocator keeps from freed blocks back to the system,
// in every thread's arena, so that what a burst of work left free does not
// stay resident.
void ReturnFreedMemory();

}  // namespace platform
