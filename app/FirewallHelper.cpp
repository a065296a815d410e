#include "app/FirewallHelper.h"

#include <filesystem>

#include "platform/RunHiddenCommand.h"

namespace {

constexpr char kHelperName[] = "ondulofrin-firewall";

}  // namespace

std::string FirewallHelperPath(const std::string& programPath) {
    const std::filesystem::path folder = std::filesystem::path(programPath).parent_path();
    for (const std::filesystem::path& candidate :
         {folder.parent_path() / "libexec" / "ondulofrin" / kHelperName, folder / kHelperName}) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate.string();
    }
    return {};
}

const char* FirewallHelperWord(const FirewallFinding& finding) {
    if (finding.firewall == Firewall::Ufw)
        return finding.profileInstalled ? "ufw-application" : "ufw-port";
    return finding.profileInstalled ? "firewalld-service" : "firewalld-port";
}

bool LetHeadsetsInThroughHelper(const FirewallFinding& finding, const std::string& helperPath) {
    if (helperPath.empty())
        return false;
    return platform::RunHiddenProgram({"pkexec", helperPath, FirewallHelperWord(finding)}) == 0;
}
