#pragma once

#include "tools/headset/CommandArguments.h"

// The subcommands of ondu-headset. Each takes the words after its name and
// returns the process exit code.
namespace headset {

int RunDiscover(CommandArguments& arguments);
int RunList(CommandArguments& arguments);
int RunPlay(CommandArguments& arguments);
int RunFetch(CommandArguments& arguments);
int RunLoad(CommandArguments& arguments);

// Prints "ondu-headset NAME: message" and the pointer to --help; returns 2.
int UsageError(const char* command, const std::string& message);
// Prints "ondu-headset NAME: message"; returns 1.
int Failure(const char* command, const std::string& message);

}  // namespace headset
