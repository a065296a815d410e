#include "app/CacheChoice.h"

namespace {

std::string Value(EnvironmentLookup variable, const char* name) {
    const char* value = variable(name);
    return value != nullptr ? value : "";
}

}  // namespace

std::optional<std::string> ChooseCacheDirectory(const CommandLine& line,
                                                EnvironmentLookup variable) {
    if (line.noCache)
        return std::nullopt;
    if (const std::string systemd = Value(variable, "CACHE_DIRECTORY"); !systemd.empty())
        return systemd.substr(0, systemd.find(':'));
    if (const std::string xdg = Value(variable, "XDG_CACHE_HOME"); xdg.starts_with('/'))
        return xdg + "/ondulofrin";
    if (const std::string home = Value(variable, "HOME"); !home.empty())
        return home + "/.cache/ondulofrin";
    return std::nullopt;
}
