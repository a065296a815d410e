#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/LocalAddresses.h"
#include "platform/OperatorLog.h"

// What the program was asked to do, read once for both modes. Options and
// files come in any order; "--" ends the options. Files are made absolute
// against the current directory.
struct CommandLine {
    enum class Mode { Window, Serve, Help, Version, Invalid };

    Mode mode = Mode::Window;
    std::vector<std::wstring> files;
    std::vector<platform::Ipv4Address> bindAddresses;
    // "scheme://host[:port]" given with --directory.
    std::optional<std::string> directoryOrigin;
    bool noDirectory = false;
    // --no-cache: every file read afresh, nothing kept.
    bool noCache = false;
    // --xdg-state: Config.ini and the log in the user's state folder.
    bool xdgState = false;
    // How much the operator's log on standard error says.
    platform::OperatorDetail detail = platform::OperatorDetail::Events;
    // One line per argument that cannot be followed; the mode is then Invalid.
    std::vector<std::string> problems;
};

// `arguments` excludes the program name. Names are taken as the bytes the
// system gave them in.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             std::wstring_view currentDirectory);

// The --help text, which the README quotes.
extern const char kUsageText[];

// The line after the problems of an Invalid command line.
extern const char kHelpPointer[];
