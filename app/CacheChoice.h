#pragma once

#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "app/DisplayCheck.h"

// Where the titles of both modes are cached: nowhere with --no-cache;
// otherwise the folder systemd made for the unit ($CACHE_DIRECTORY, the
// first of a list), else $XDG_CACHE_HOME/ondulofrin (an absolute path only,
// as the XDG rules want), else ~/.cache/ondulofrin; nowhere when none of
// these is known. The folder is made when the first title is kept.
std::optional<std::string> ChooseCacheDirectory(const CommandLine& line,
                                                EnvironmentLookup variable);

// Where Config.ini and the log go with --xdg-state: $XDG_STATE_HOME/ondulofrin
// (an absolute path only), else ~/.local/state/ondulofrin; nowhere when
// neither is known.
std::optional<std::string> ChooseStateDirectory(EnvironmentLookup variable);
