#pragma once

namespace platform {

// Major version of the operating system in Windows numbering, so that callers
// written against Windows releases take the branch for current systems. Linux
// reports 10.
unsigned OsMajorVersion();

// Tests pretend to run on another version; 0 restores the real answer.
void SetOsMajorVersionForTesting(unsigned major);

}  // namespace platform
