#include "app/StartupSteps.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/CacheChoice.h"
#include "app/DiagnosticLog.h"
#include "platform/CurrentDirectory.h"
#include "platform/IniProfile.h"
#include "platform/ModulePath.h"
#include "platform/OperatorLog.h"
#include "platform/WholeFile.h"

namespace {

constexpr wchar_t kConfigSection[] = L"OnduLofrin";
constexpr wchar_t kFirewallPathKey[] = L"FireworkString";

std::wstring StoredFirewallPath(const std::wstring& configPath) {
    if (configPath.empty())
        return {};
    return platform::GetPrivateProfileString(kConfigSection, kFirewallPathKey, L"", configPath);
}

// The record keeps its meaning from Windows, where a program that moved got
// its firewall rule anew: here the firewall is not changed at start-up (no
// netsh exists, and ufw and firewalld open ports, not programs), but the
// window offers to let headsets in once per program path. A program path
// that cannot be told is never recorded. An unknown current directory is
// treated as a configuration that cannot be read or written, rather than
// falling back to the root directory.
bool RecordProgramWhenMoved() {
    const std::wstring programPath = platform::ModuleFileName();
    if (programPath.empty())
        return false;
    const std::wstring configPath = ConfigFilePath();
    if (StoredFirewallPath(configPath) == programPath)
        return false;
    if (!configPath.empty()) {
        platform::WritePrivateProfileString(kConfigSection, kFirewallPathKey, programPath,
                                            configPath);
    }
    return true;
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

bool RunStartupSteps(const CommandLine& line) {
    if (line.xdgState)
        EnterStateDirectory();
    WriteDiagnosticLog(L"COnduLofrinApp::InitInstance()");
    return RecordProgramWhenMoved();
}
