#include "app/StartupSteps.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/CacheChoice.h"
#include "app/DiagnosticLog.h"
#include "app/FirewallRules.h"
#include "platform/CurrentDirectory.h"
#include "platform/IniProfile.h"
#include "platform/ModulePath.h"
#include "platform/OperatorLog.h"
#include "platform/WholeFile.h"

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

// Everything the program keeps follows the current directory, which the
// command line's relative paths were read against already.
void EnterStateDirectory() {
    const auto folder = ChooseStateDirectory(ProcessEnvironment);
    if (!folder) {
        platform::LogForOperator(
            "--xdg-state: neither XDG_STATE_HOME nor HOME is set; "
            "Config.ini and the log stay in the current directory");
    } else if (!platform::MakePrivateDirectory(*folder) || chdir(folder->c_str()) != 0) {
        platform::LogForOperator("--xdg-state: " + *folder + ": " + std::strerror(errno) +
                                 "; Config.ini and the log stay in the current directory");
    }
}

}  // namespace

std::wstring ConfigFilePath() {
    const std::wstring directory = platform::CurrentDirectory();
    if (directory.empty())
        return {};
    return directory + L"/Config.ini";
}

void RunStartupSteps(const CommandLine& line) {
    if (line.xdgState)
        EnterStateDirectory();
    WriteDiagnosticLog(L"COnduLofrinApp::InitInstance()");
    AddFirewallRulesWhenProgramMoved();
}
