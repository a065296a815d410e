#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/LocalAddresses.h"
#include "service/DirectoryRegistration.h"

// What a front end, the window or the headless mode, asks of a service start.
struct ServiceOptions {
    // The files and folders to share, in the order of the catalogue.
    std::vector<std::wstring> paths;
    // Where to listen and announce; when none, every address a headset could reach.
    std::optional<std::vector<platform::Ipv4Address>> bindAddresses;
    // Where the start registers: an origin from ParseDirectoryOrigin, or
    // none for no registration at all.
    std::optional<std::string> directoryOrigin{kDirectoryOrigin};
    // The folder of the cache of titles; none reads every file and keeps nothing.
    std::optional<std::string> cacheDirectory;
    // Follow the folders and files while the service runs (LibraryFollower),
    // and read them again on ReloadLibrary; otherwise the titles stay as
    // the start read them.
    bool followFolders = false;
};
