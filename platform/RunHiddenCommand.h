#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Runs a command line without a shell: splits it by the Windows rules, looks
// the first word up through PATH, starts it with no input or output attached
// and no inherited descriptors, and waits for it to end. Returns whether the
// process could be created; its exit status is not looked at.
bool RunHiddenCommand(std::wstring_view commandLine);

// Runs the program `words[0]`, looked up through PATH, with the other words
// as its arguments, hidden in the same way, and waits for it. Its exit
// status; nothing when it could not be started or was ended by a signal.
std::optional<int> RunHiddenProgram(const std::vector<std::string>& words);

// The same with what the program writes to its standard output (at most
// `limit` bytes of it kept) beside its exit status.
struct ProgramAnswer {
    int status = 0;
    std::string output;
};
std::optional<ProgramAnswer> AskHiddenProgram(const std::vector<std::string>& words,
                                              size_t limit = 65536);

}  // namespace platform
