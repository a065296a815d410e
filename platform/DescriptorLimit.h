#pragma once

#include <cstddef>

namespace platform {

// Raises the soft limit on open descriptors to the hard one, as programs
// that hold many connections are meant to: the default soft limit of a
// desktop session or a service (1024) is there for programs that still use
// select(), which this one does not. Returns the soft limit in force after.
size_t RaiseDescriptorLimit();

// The soft limit on open descriptors now in force.
size_t DescriptorLimit();

}  // namespace platform
