#pragma once

#include <string>

#include "app/CacheChoice.h"
#include "app/DirectoryChoice.h"
#include "service/ServiceOptions.h"

// What the command line asks of the service, for either front end: its
// files, its --bind addresses, the directory ChooseDirectory picks with the
// Config.ini at `configPath`, and the cache folder ChooseCacheDirectory picks.
inline ServiceOptions ChooseServiceOptions(const CommandLine& line, const std::wstring& configPath,
                                           EnvironmentLookup variable) {
    ServiceOptions options{line.files, std::nullopt, ChooseDirectory(line, configPath),
                           ChooseCacheDirectory(line, variable)};
    if (!line.bindAddresses.empty())
        options.bindAddresses = line.bindAddresses;
    return options;
}
