#pragma once

#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "service/StartReport.h"

// The start's lines for the operator: on standard output one per title, one
// per skipped path with its reason, one per address with its listener's and
// its announcement's outcome, and the registration's outcome; on standard
// error, in English beside the start's own message, the files beyond the
// first 32.
void PrintStartReport(const StartReport& report, const std::optional<std::string>& directory);

// Serves the files of `line` (mode Serve) without a window until SIGINT or
// SIGTERM, then stops the service. The titles follow the folders and files
// as they change, and SIGHUP reads them again. Returns the process exit code: 0, or 1
// when no address could listen (after a clean stop).
int RunHeadlessService(const CommandLine& line);
