#pragma once

#include <string_view>

namespace platform {

// Runs a command line without a shell: splits it by the Windows rules, looks
// the first word up through PATH, starts it with no input or output attached
// and no inherited descriptors, and waits for it to end. Returns whether the
// process could be created; its exit status is not looked at.
bool RunHiddenCommand(std::wstring_view commandLine);

}  // namespace platform
