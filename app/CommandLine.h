#pragma once

#include <string>
#include <string_view>
#include <vector>

// What the program was asked to do:
//   OnduLofrin [FILE...]                           the window, with the files listed
//   OnduLofrin --version                           print the version
//   OnduLofrin --serve [OPTION]... FILE...         serve without a window
// "--" ends the options. The window's files are made absolute against the
// current directory. Whatever follows --serve is the headless front end's to
// read (ParseHeadlessOptions).
struct CommandLine {
    enum class Mode { Window, Version, Serve };

    Mode mode = Mode::Window;
    std::vector<std::wstring> files;
    // Why the window's command line cannot be followed; empty when it can.
    // The window reports these and goes on.
    std::vector<std::string> problems;
};

// `arguments` excludes the program name. File names keep their bytes, also
// those that are not UTF-8 (platform::PathFromOsBytes).
CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             std::wstring_view currentDirectory);
