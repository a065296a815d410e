#pragma once

#include <optional>
#include <string>

#include "app/CommandLine.h"

// Where the starts of either mode register, the first that says: the
// command line (--no-directory, --directory URL), then Config.ini's
// [Service] Directory ("none" for no registration, or an http or https
// address), then the project's own directory. A Config.ini value that is
// neither is told to the operator and registers nowhere, since its writer
// meant to send the registration somewhere else than ours.
std::optional<std::string> ChooseDirectory(const CommandLine& line, const std::wstring& configPath);
