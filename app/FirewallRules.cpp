#include "app/FirewallRules.h"

#include "platform/OsVersion.h"
#include "platform/RunHiddenCommand.h"

namespace {

constexpr unsigned kFirstAdvancedFirewallVersion = 6;

std::wstring Quoted(std::wstring_view text) {
    return L"\"" + std::wstring(text) + L"\"";
}

}  // namespace

std::vector<std::wstring> FirewallCommandLines(std::wstring_view programPath,
                                               std::wstring_view ruleName,
                                               unsigned osMajorVersion) {
    if (programPath.find(L'"') != programPath.npos || ruleName.find(L'"') != ruleName.npos) {
        return {};
    }
    const std::wstring name(ruleName);
    if (osMajorVersion < kFirstAdvancedFirewallVersion) {
        return {L"netsh firewall add allowedprogram " + Quoted(programPath) + L" " + name +
                L" ENABLE"};
    }
    const std::wstring rule =
        L"name=" + Quoted(ruleName) + L" dir=in program=" + Quoted(programPath);
    return {L"netsh advfirewall firewall delete rule " + rule,
            L"netsh advfirewall firewall add rule " + rule + L" action=allow"};
}

bool AddFirewallRules(const std::wstring& programPath, const std::wstring& ruleName) {
    for (const std::wstring& commandLine :
         FirewallCommandLines(programPath, ruleName, platform::OsMajorVersion())) {
        platform::RunHiddenCommand(commandLine);
    }
    return true;
}
