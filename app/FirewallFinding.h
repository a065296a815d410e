#pragma once

#include <optional>
#include <string>

// A firewall of this host that keeps headsets out of the service's TCP port,
// or may: they see the announcement, which goes out, and then cannot connect.
// Rules written by hand with nft or iptables are the user's own business and
// are not looked at.
enum class Firewall { Ufw, Firewalld };

enum class HeadsetAdmission {
    Admitted,
    KeptOut,
    // The firewall is on, but its rules cannot be read without root.
    MayBeKeptOut,
};

struct FirewallFinding {
    Firewall firewall = Firewall::Ufw;
    HeadsetAdmission admission = HeadsetAdmission::KeptOut;
    // The package's ufw application "OnduLofrin" or firewalld service
    // "ondulofrin" is known to the firewall, so the command names it rather
    // than the bare port.
    bool profileInstalled = false;
};

// Looks at ufw, then firewalld. Nothing when neither keeps headsets out.
// Changes no rule.
std::optional<FirewallFinding> FindFirewallKeepingHeadsetsOut();

// "ufw" or "firewalld".
const char* FirewallName(Firewall firewall);

// The command a user with sudo runs to let headsets in, for example
// "sudo ufw allow OnduLofrin".
std::string CommandLettingHeadsetsIn(const FirewallFinding& finding);

// The one line the headless front end writes to standard error.
std::string FirewallLine(const FirewallFinding& finding);
