#include "app/DirectoryChoice.h"

#include "platform/IniProfile.h"
#include "platform/OperatorLog.h"
#include "platform/WideText.h"
#include "service/DirectoryRegistration.h"

namespace {

constexpr wchar_t kServiceSection[] = L"Service";
constexpr wchar_t kDirectoryKey[] = L"Directory";

std::wstring ConfiguredDirectory(const std::wstring& configPath) {
    if (configPath.empty())
        return {};
    return platform::GetPrivateProfileString(kServiceSection, kDirectoryKey, L"", configPath);
}

bool MeansNone(const std::wstring& value) {
    return value == L"none" || value == L"None" || value == L"NONE";
}

}  // namespace

std::optional<std::string> ChooseDirectory(const CommandLine& line,
                                           const std::wstring& configPath) {
    if (line.noDirectory)
        return std::nullopt;
    if (line.directoryOrigin)
        return line.directoryOrigin;
    const std::wstring configured = ConfiguredDirectory(configPath);
    if (configured.empty())
        return std::string(kDirectoryOrigin);
    if (MeansNone(configured))
        return std::nullopt;
    const std::string text = platform::WideToUtf8(configured);
    if (auto origin = ParseDirectoryOrigin(text))
        return origin;
    platform::LogForOperator("Config.ini: [Service] Directory=" + text +
                             " is neither none nor an http or https address with a host; "
                             "registering with no directory");
    return std::nullopt;
}
