#pragma once

#include "app/CommandLine.h"

// The program without a window (--serve): the same start-up steps as the
// window's, with no Qt application object, so that it runs on a machine with
// no display. Returns the process's exit status.
int RunHeadless(const CommandLine& commandLine);
