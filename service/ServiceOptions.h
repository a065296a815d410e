#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/LocalAddresses.h"
#include "service/DirectoryRegistration.h"

// What a front end asks of a service start, the same from the window and
// from the headless mode.
struct ServiceOptions {
    // The files and folders to share, in the order of the catalogue.
    std::vector<std::wstring> paths;
    // Where to listen and announce; when none are given, every local
    // address a headset could reach.
    std::optional<std::vector<platform::Ipv4Address>> bindAddresses;
    // Where the start registers: an origin from ParseDirectoryOrigin, or
    // none for no registration at all.
    std::optional<std::string> directoryOrigin{kDirectoryOrigin};
    // The folder of the cache of titles; when none, every file is read and
    // nothing is kept.
    std::optional<std::string> cacheDirectory;
};
