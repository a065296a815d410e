#include "platform/ShownPath.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <optional>
#include <string_view>

#include "platform/PathBytes.h"
#include "platform/WideText.h"

namespace platform {
namespace {

constexpr std::string_view kReplacementBytes = "\xEF\xBF\xBD";

bool Exists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

// The name as text shows it, with each run of U+FFFD as one.
std::string ShownForm(std::string_view text) {
    std::string shown;
    bool afterReplacement = false;
    while (!text.empty()) {
        if (text.starts_with(kReplacementBytes)) {
            if (!afterReplacement)
                shown += kReplacementBytes;
            afterReplacement = true;
            text.remove_prefix(kReplacementBytes.size());
            continue;
        }
        afterReplacement = false;
        shown.push_back(text.front());
        text.remove_prefix(1);
    }
    return shown;
}

std::string ShownFormOfName(std::string_view nameBytes) {
    return ShownForm(WideToUtf8(PathFromOsBytes(nameBytes)));
}

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};

// The one entry of `folder` shown as `component`; none when there are none
// or several.
std::optional<std::string> EntryShownAs(const std::string& folder, std::string_view component) {
    const std::unique_ptr<DIR, DirectoryCloser> directory(
        opendir(folder.empty() ? "/" : folder.c_str()));
    if (!directory)
        return std::nullopt;
    const std::string wanted = ShownForm(component);
    std::optional<std::string> found;
    while (const dirent* entry = readdir(directory.get())) {
        if (ShownFormOfName(entry->d_name) != wanted)
            continue;
        if (found)
            return std::nullopt;
        found = entry->d_name;
    }
    return found;
}

}  // namespace

std::wstring FindPathShownAs(const std::wstring& shown) {
    const std::string bytes = PathToOsBytes(shown);
    if (!bytes.starts_with('/') || Exists(bytes) || bytes.find(kReplacementBytes) == bytes.npos)
        return shown;
    std::string resolved;
    std::string_view rest = std::string_view(bytes).substr(1);
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view component = rest.substr(0, slash);
        rest = slash == rest.npos ? std::string_view() : rest.substr(slash + 1);
        if (component.empty())
            continue;
        const std::string candidate = resolved + "/" + std::string(component);
        if (Exists(candidate)) {
            resolved = candidate;
            continue;
        }
        const std::optional<std::string> entry = EntryShownAs(resolved, component);
        if (!entry)
            return shown;
        resolved += "/" + *entry;
    }
    return PathFromOsBytes(resolved);
}

}  // namespace platform
