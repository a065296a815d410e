#include "app/FirewallFinding.h"

#include "app/FirewalldState.h"
#include "app/UfwState.h"
#include "protocol/ServiceConstants.h"

namespace {

std::string PortText() {
    return std::to_string(servicePort) + "/tcp";
}

}  // namespace

std::optional<FirewallFinding> FindFirewallKeepingHeadsetsOut() {
    if (auto ufw = FindUfwKeepingHeadsetsOut())
        return ufw;
    return FindFirewalldKeepingHeadsetsOut();
}

const char* FirewallName(Firewall firewall) {
    return firewall == Firewall::Ufw ? "ufw" : "firewalld";
}

std::string CommandLettingHeadsetsIn(const FirewallFinding& finding) {
    if (finding.firewall == Firewall::Ufw)
        return "sudo ufw allow " + (finding.profileInstalled ? "OnduLofrin" : PortText());
    const std::string addition =
        finding.profileInstalled ? "--add-service=ondulofrin" : "--add-port=" + PortText();
    return "sudo firewall-cmd --permanent " + addition + " && sudo firewall-cmd --reload";
}

std::string FirewallLine(const FirewallFinding& finding) {
    const std::string name = FirewallName(finding.firewall);
    const char* why = finding.firewall == Firewall::Ufw ? " (its rules are readable by root only)"
                                                        : " (it would not answer its queries)";
    const std::string keeps =
        finding.admission == HeadsetAdmission::MayBeKeptOut
            ? name + " is on and may keep headsets out of port " + PortText() + why
            : name + " keeps headsets out of port " + PortText();
    return "OnduLofrin: " + keeps + "; to let them in: " + CommandLettingHeadsetsIn(finding);
}
