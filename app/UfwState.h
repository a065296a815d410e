#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/FirewallFinding.h"

// Whether ufw.conf's text turns ufw on at boot (ENABLED=yes): readable by
// anyone.
bool UfwEnabled(std::string_view ufwConf);

// What ufw lets through to the service's TCP port, from the text of
// /etc/default/ufw (its policy for incoming connections) and of user.rules
// (the user's rules, readable by root only; nothing when they could not be
// read). An allow or limit rule for incoming TCP to the port, to a range or
// list holding it, or to any port, counts whatever the source it names:
// which hosts may come is the user's choice.
HeadsetAdmission UfwAdmission(std::string_view defaults,
                              const std::optional<std::string>& userRules);

// ufw when it is on and keeps headsets out, or may.
std::optional<FirewallFinding> FindUfwKeepingHeadsetsOut();
