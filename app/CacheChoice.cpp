#include "app/CacheChoice.h"

namespace {

// $NAME/ondulofrin when the variable holds an absolute path, as the XDG rules
// want, else ~/FALLBACK/ondulofrin.
std::optional<std::string> UserFolder(EnvironmentLookup variable, const char* name,
                                      const char* homeFallback) {
    if (const std::string xdg = EnvironmentValue(variable, name); xdg.starts_with('/'))
        return xdg + "/ondulofrin";
    if (const std::string home = EnvironmentValue(variable, "HOME"); !home.empty())
        return home + "/" + homeFallback + "/ondulofrin";
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ChooseCacheDirectory(const CommandLine& line,
                                                EnvironmentLookup variable) {
    if (line.noCache)
        return std::nullopt;
    if (const std::string systemd = EnvironmentValue(variable, "CACHE_DIRECTORY"); !systemd.empty())
        return systemd.substr(0, systemd.find(':'));
    return UserFolder(variable, "XDG_CACHE_HOME", ".cache");
}

std::optional<std::string> ChooseStateDirectory(EnvironmentLookup variable) {
    return UserFolder(variable, "XDG_STATE_HOME", ".local/state");
}
