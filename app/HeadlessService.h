#pragma once

#include <optional>
#include <string>
#include <vector>

// What `OnduLofrin --serve [--bind ADDR]... FILE...` was asked to do.
struct HeadlessOptions {
    std::vector<std::string> bindAddresses;
    // "scheme://host[:port]" of the directory to register with, if not ours.
    std::optional<std::string> directoryOrigin;
    bool noDirectory = false;
    std::vector<std::wstring> files;
};

// Parses the arguments after "--serve"; false on bad arguments.
bool ParseHeadlessOptions(const std::vector<std::string>& arguments, HeadlessOptions& options);

// Serves the files without a window until SIGINT or SIGTERM, then stops the
// service. Returns the process exit code: 0, or 2 for bad arguments.
int RunHeadlessService(const std::vector<std::string>& arguments);
