#pragma once

#include <string>

#include "app/CommandLine.h"
#include "app/DisplayCheck.h"
#include "service/ServiceOptions.h"

// What the command line asks of the service, for either front end: its
// files, its --bind addresses, the directory ChooseDirectory picks with the
// Config.ini at `configPath`, and the cache folder ChooseCacheDirectory picks.
ServiceOptions ChooseServiceOptions(const CommandLine& line, const std::wstring& configPath,
                                    EnvironmentLookup variable);
