#pragma once

#include <string>
#include <string_view>
#include <vector>

// The netsh command lines that let inbound connections reach `programPath`
// under the rule name `ruleName`: the old firewall form below major version 6,
// otherwise the delete of earlier rules for this path and then the new rule.
// Nothing is escaped, so a program path or rule name holding a double quote
// cannot be passed faithfully; it gets no command line at all.
std::vector<std::wstring> FirewallCommandLines(std::wstring_view programPath,
                                               std::wstring_view ruleName, unsigned osMajorVersion);

// The Windows form of the firewall step, kept for the Windows build; the
// Linux start-up never runs netsh (see FirewallFinding.h).
// Runs the command lines for this system hidden, one after the other, each to
// its end. Commands that cannot be started or that fail are not noticed.
// Returns true in every case.
bool AddFirewallRules(const std::wstring& programPath, const std::wstring& ruleName);
