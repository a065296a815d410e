#pragma once

#include <string>

#include "app/CommandLine.h"

// The start-up that the window and the headless front end share, in order:
// with --xdg-state, the user's state folder made the current directory (made
// when missing; where it cannot be, the operator is told and the current
// directory stays); the log line; then, when Config.ini in the current
// directory records another program path than this program's, the new path
// recorded. Returns whether it was new: the window then offers, once, to let
// headsets through the firewall. Creates no user interface and changes no
// firewall rule.
bool RunStartupSteps(const CommandLine& line = {});

// The current directory followed by "/Config.ini" (the separator always
// added); empty when the current directory cannot be told.
std::wstring ConfigFilePath();
