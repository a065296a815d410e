#include "app/UfwState.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <sstream>
#include <vector>

#include "platform/WholeFile.h"
#include "protocol/ServiceConstants.h"

namespace {

constexpr char kUfwProgram[] = "/usr/sbin/ufw";
constexpr char kUfwConf[] = "/etc/ufw/ufw.conf";
constexpr char kUfwDefaults[] = "/etc/default/ufw";
constexpr char kUfwUserRules[] = "/etc/ufw/user.rules";
// Installed by the package; ufw reads every profile in the folder.
constexpr char kUfwProfile[] = "/etc/ufw/applications.d/ondulofrin";
constexpr uint64_t kTextLimit = 1 << 20;
constexpr std::string_view kTupleMark = "### tuple ### ";

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == text.npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text = end == text.npos ? std::string_view{} : text.substr(end + 1);
    }
    return lines;
}

// The value of KEY=value in a shell-style file, quotes taken off.
std::string ShellValue(std::string_view text, std::string_view key) {
    std::string value;
    for (const std::string_view line : Lines(text)) {
        const std::string_view trimmed = Trimmed(line);
        if (trimmed.size() > key.size() && trimmed.starts_with(key) && trimmed[key.size()] == '=')
            value = Trimmed(trimmed.substr(key.size() + 1));
    }
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

std::optional<unsigned> Number(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "23107", "23100:23200", "80,443,23107" or "any".
bool PortsHold(std::string_view ports, unsigned port) {
    if (ports == "any")
        return true;
    std::string_view rest = ports;
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        rest = comma == rest.npos ? std::string_view{} : rest.substr(comma + 1);
        const size_t colon = item.find(':');
        const auto low = Number(item.substr(0, colon));
        const auto high = colon == item.npos ? low : Number(item.substr(colon + 1));
        if (low && high && *low <= port && port <= *high)
            return true;
    }
    return false;
}

// "allow tcp 23107 0.0.0.0/0 any 0.0.0.0/0 in", with the applications before
// the direction when the rule names them: "... OnduLofrin - in"; a rule on
// one interface has the direction "in_eth0".
bool TupleAdmits(std::string_view tuple) {
    std::vector<std::string> words;
    std::istringstream stream{std::string(tuple)};
    for (std::string word; stream >> word;)
        words.push_back(word);
    if (words.size() != 7 && words.size() != 9)
        return false;
    const std::string& action = words[0];
    const std::string& protocol = words[1];
    const std::string& direction = words.back();
    return (action.starts_with("allow") || action.starts_with("limit")) &&
           (protocol == "tcp" || protocol == "any") && direction.starts_with("in") &&
           PortsHold(words[2], servicePort);
}

// The rules when they can be read; an absent file holds none.
std::optional<std::string> ReadUserRules() {
    if (access(kUfwUserRules, R_OK) != 0)
        return errno == ENOENT ? std::optional<std::string>("") : std::nullopt;
    const auto bytes = platform::ReadWholeFile(kUfwUserRules, kTextLimit);
    if (!bytes)
        return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

std::string ReadText(const char* path) {
    const auto bytes = platform::ReadWholeFile(path, kTextLimit);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

}  // namespace

bool UfwEnabled(std::string_view ufwConf) {
    return ShellValue(ufwConf, "ENABLED") == "yes";
}

HeadsetAdmission UfwAdmission(std::string_view defaults,
                              const std::optional<std::string>& userRules) {
    if (ShellValue(defaults, "DEFAULT_INPUT_POLICY") == "ACCEPT")
        return HeadsetAdmission::Admitted;
    if (!userRules)
        return HeadsetAdmission::MayBeKeptOut;
    for (const std::string_view line : Lines(*userRules)) {
        if (line.starts_with(kTupleMark) && TupleAdmits(line.substr(kTupleMark.size())))
            return HeadsetAdmission::Admitted;
    }
    return HeadsetAdmission::KeptOut;
}

std::optional<FirewallFinding> FindUfwKeepingHeadsetsOut() {
    // A removed package leaves its configuration behind.
    if (!std::filesystem::exists(kUfwProgram) || !UfwEnabled(ReadText(kUfwConf)))
        return std::nullopt;
    const HeadsetAdmission admission = UfwAdmission(ReadText(kUfwDefaults), ReadUserRules());
    if (admission == HeadsetAdmission::Admitted)
        return std::nullopt;
    return FirewallFinding{Firewall::Ufw, admission, std::filesystem::exists(kUfwProfile)};
}
