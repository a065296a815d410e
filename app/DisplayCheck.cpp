#include "app/DisplayCheck.h"

#include <string>

const char kNoDisplayText[] =
    "OnduLofrin: there is no display to open the window on (neither DISPLAY nor "
    "WAYLAND_DISPLAY is set); to serve without a window: OnduLofrin --serve FILE|FOLDER...";

namespace {

bool IsSet(EnvironmentLookup variable, const char* name) {
    const char* value = variable(name);
    return value != nullptr && value[0] != '\0';
}

}  // namespace

bool HasDisplay(EnvironmentLookup variable) {
    const bool x11 = IsSet(variable, "DISPLAY");
    const bool wayland = IsSet(variable, "WAYLAND_DISPLAY");
    if (!IsSet(variable, "QT_QPA_PLATFORM"))
        return x11 || wayland;
    // Qt tries the platforms of the list in turn ("wayland;xcb").
    const std::string platforms = variable("QT_QPA_PLATFORM");
    size_t start = 0;
    while (start <= platforms.size()) {
        size_t end = platforms.find(';', start);
        if (end == std::string::npos)
            end = platforms.size();
        const std::string name = platforms.substr(start, end - start);
        const std::string plugin = name.substr(0, name.find(':'));
        if (plugin == "xcb" ? x11 : plugin.starts_with("wayland") ? wayland : !plugin.empty())
            return true;
        start = end + 1;
    }
    return false;
}
