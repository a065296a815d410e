#pragma once

#include <string>

// The start-up that the window and the headless front end share, in order:
// the log line, then the firewall rules when Config.ini in the current
// directory records another program path than this program's, and the new
// path recorded. Creates no user interface.
void RunStartupSteps();

// The current directory followed by "/Config.ini" (the separator always
// added); empty when the current directory cannot be told.
std::wstring ConfigFilePath();
