#include "app/FirewalldState.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/LocalAddresses.h"
#include "platform/RunHiddenCommand.h"
#include "protocol/ServiceConstants.h"

namespace {

// Installed by the package where firewalld looks for services; a user's own
// definition lives under /etc.
constexpr const char* kServiceFiles[] = {"/usr/lib/firewalld/services/ondulofrin.xml",
                                         "/etc/firewalld/services/ondulofrin.xml"};
// firewall-cmd's exit status for "no" to a query, and for a zone it does not
// know an interface in.
constexpr int kAnswerNo = 1;
constexpr int kNoZone = 2;

enum class ZoneAnswer { Admits, KeepsOut, Unknown };

// firewall-cmd is a Python program that takes most of a second to start, on
// every start of the service: where no firewalld process runs it is not asked.
bool FirewalldRuns() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::string name;
        if (std::getline(std::ifstream(entry.path() / "comm"), name) && name == "firewalld")
            return true;
    }
    return false;
}

std::optional<platform::ProgramAnswer> Ask(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "firewall-cmd");
    return platform::AskHiddenProgram(arguments);
}

std::string FirstLine(const std::string& text) {
    const std::string line = text.substr(0, text.find('\n'));
    return line.substr(0, line.find_last_not_of(" \t\r") + 1);
}

bool ServiceInstalled() {
    for (const char* path : kServiceFiles) {
        std::error_code error;
        if (std::filesystem::exists(path, error))
            return true;
    }
    return false;
}

// The zones of the interfaces that serve headsets, each once; the default
// zone stands for those without one of their own. Empty when firewalld
// would not tell.
std::vector<std::string> ServingZones() {
    std::vector<std::string> zones;
    const auto add = [&zones](const std::string& zone) {
        if (!zone.empty() && std::find(zones.begin(), zones.end(), zone) == zones.end())
            zones.push_back(zone);
    };
    bool needDefault = false;
    for (const std::string& name : platform::Ipv4InterfaceNames()) {
        const auto answer = Ask({"--get-zone-of-interface=" + name});
        if (answer && answer->status == 0)
            add(FirstLine(answer->output));
        else if (answer && answer->status == kNoZone)
            needDefault = true;
        else
            return {};
    }
    if (needDefault || zones.empty()) {
        const auto answer = Ask({"--get-default-zone"});
        if (!answer || answer->status != 0)
            return {};
        add(FirstLine(answer->output));
    }
    return zones;
}

ZoneAnswer AskZone(const std::string& zone, bool serviceInstalled) {
    if (zone == "trusted")
        return ZoneAnswer::Admits;
    std::vector<std::string> queries{"--query-port=" + std::to_string(servicePort) + "/tcp"};
    if (serviceInstalled)
        queries.push_back("--query-service=ondulofrin");
    for (const std::string& query : queries) {
        const auto answer = Ask({"--zone=" + zone, query});
        if (!answer || (answer->status != 0 && answer->status != kAnswerNo))
            return ZoneAnswer::Unknown;
        if (answer->status == 0)
            return ZoneAnswer::Admits;
    }
    return ZoneAnswer::KeepsOut;
}

}  // namespace

std::optional<FirewallFinding> FindFirewalldKeepingHeadsetsOut() {
    if (!FirewalldRuns())
        return std::nullopt;
    const auto state = Ask({"--state"});
    if (!state || state->status != 0)
        return std::nullopt;  // not installed, or not running
    const bool serviceInstalled = ServiceInstalled();
    FirewallFinding finding{Firewall::Firewalld, HeadsetAdmission::Admitted, serviceInstalled};
    const std::vector<std::string> zones = ServingZones();
    if (zones.empty())
        finding.admission = HeadsetAdmission::MayBeKeptOut;
    for (const std::string& zone : zones) {
        const ZoneAnswer answer = AskZone(zone, serviceInstalled);
        if (answer == ZoneAnswer::KeepsOut)
            finding.admission = HeadsetAdmission::KeptOut;
        else if (answer == ZoneAnswer::Unknown && finding.admission == HeadsetAdmission::Admitted)
            finding.admission = HeadsetAdmission::MayBeKeptOut;
    }
    if (finding.admission == HeadsetAdmission::Admitted)
        return std::nullopt;
    return finding;
}
