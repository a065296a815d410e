#pragma once

#include <string>

#include "app/FirewallFinding.h"

// The small program the package installs that lets headsets in, run as root
// through pkexec with the package's polkit action. It takes one fixed word
// and nothing else, so that no other change can be asked of it.

// The helper for the program at `programPath`: where the package puts it
// (../libexec/ondulofrin/ beside the program's folder), or beside the program
// in a build tree; empty when neither holds it.
std::string FirewallHelperPath(const std::string& programPath);

// The helper's word for what the finding calls for: "ufw-application",
// "ufw-port", "firewalld-service" or "firewalld-port".
const char* FirewallHelperWord(const FirewallFinding& finding);

// Asks polkit, through pkexec, to run the helper: true when the firewall
// now lets headsets in; false when the user refused, polkit or the helper is
// missing, or the firewall's command failed.
bool LetHeadsetsInThroughHelper(const FirewallFinding& finding, const std::string& helperPath);
