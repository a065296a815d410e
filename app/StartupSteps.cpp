#include "app/StartupSteps.h"

#include "app/DiagnosticLog.h"
#include "app/FirewallRules.h"
#include "platform/CurrentDirectory.h"
#include "platform/IniProfile.h"
#include "platform/ModulePath.h"

namespace {

constexpr wchar_t kConfigSection[] = L"OnduLofrin";
constexpr wchar_t kFirewallPathKey[] = L"FireworkString";
constexpr wchar_t kFirewallRuleName[] = L"OnduLofrin";

std::wstring StoredFirewallPath(const std::wstring& configPath) {
    if (configPath.empty())
        return {};
    return platform::GetPrivateProfileString(kConfigSection, kFirewallPathKey, L"", configPath);
}

// A program path that cannot be told gets no rule: a rule for an empty path
// would name no program. An unknown current directory is treated as a
// configuration that cannot be read or written, rather than falling back to
// the root directory.
void AddFirewallRulesWhenProgramMoved() {
    const std::wstring programPath = platform::ModuleFileName();
    if (programPath.empty())
        return;
    const std::wstring configPath = ConfigFilePath();
    if (StoredFirewallPath(configPath) == programPath)
        return;
    AddFirewallRules(programPath, kFirewallRuleName);
    if (!configPath.empty()) {
        platform::WritePrivateProfileString(kConfigSection, kFirewallPathKey, programPath,
                                            configPath);
    }
}

}  // namespace

std::wstring ConfigFilePath() {
    const std::wstring directory = platform::CurrentDirectory();
    if (directory.empty())
        return {};
    return directory + L"/Config.ini";
}

void RunStartupSteps() {
    WriteDiagnosticLog(L"COnduLofrinApp::InitInstance()");
    AddFirewallRulesWhenProgramMoved();
}
