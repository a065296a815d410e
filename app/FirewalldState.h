#pragma once

#include <optional>

#include "app/FirewallFinding.h"

// firewalld when it runs and a zone of an interface that serves headsets
// (or the default zone, for interfaces it was given no zone for) neither
// holds the service "ondulofrin", nor the port, nor is "trusted". Asked
// through firewall-cmd, firewalld's own client over its D-Bus interface,
// whose queries need no root; where polkit denies them, headsets "may" be
// kept out.
std::optional<FirewallFinding> FindFirewalldKeepingHeadsetsOut();
