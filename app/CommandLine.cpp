#include "app/CommandLine.h"

#include "platform/PathBytes.h"

namespace {

std::wstring AbsolutePath(const std::string& name, std::wstring_view currentDirectory) {
    std::wstring path = platform::PathFromOsBytes(name);
    if (path.starts_with(L'/') || currentDirectory.empty())
        return path;
    std::wstring absolute(currentDirectory);
    if (!absolute.ends_with(L'/'))
        absolute += L'/';
    return absolute + path;
}

bool IsOption(const std::string& argument) {
    return argument.size() > 1 && argument[0] == '-';
}

CommandLine::Mode ModeOf(const std::vector<std::string>& arguments) {
    CommandLine::Mode mode = CommandLine::Mode::Window;
    for (const std::string& argument : arguments) {
        if (argument == "--")
            break;
        if (argument == "--version")
            return CommandLine::Mode::Version;
        if (argument == "--serve")
            mode = CommandLine::Mode::Serve;
    }
    return mode;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             std::wstring_view currentDirectory) {
    CommandLine result;
    result.mode = ModeOf(arguments);
    if (result.mode != CommandLine::Mode::Window)
        return result;

    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        if (optionsEnded || !IsOption(argument)) {
            result.files.push_back(AbsolutePath(argument, currentDirectory));
        } else if (argument == "--") {
            optionsEnded = true;
        } else {
            result.problems.push_back("unknown option " + argument);
        }
    }
    return result;
}
