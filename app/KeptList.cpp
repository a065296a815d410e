#include "app/KeptList.h"

#include <charconv>
#include <map>
#include <optional>

#include "platform/IniProfile.h"
#include "platform/PathBytes.h"

namespace {

constexpr wchar_t kSection[] = L"Files";
constexpr wchar_t kCountKey[] = L"Count";
constexpr char kHexDigits[] = "0123456789ABCDEF";

bool NeedsEscape(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F || byte == '%';
}

std::wstring Escaped(const std::wstring& path) {
    std::string bytes;
    for (const char c : platform::PathToOsBytes(path)) {
        const auto byte = static_cast<unsigned char>(c);
        if (NeedsEscape(byte)) {
            bytes += '%';
            bytes += kHexDigits[byte >> 4];
            bytes += kHexDigits[byte & 0xF];
        } else {
            bytes += c;
        }
    }
    return platform::PathFromOsBytes(bytes);
}

std::optional<unsigned> HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return std::nullopt;
}

std::optional<std::wstring> Unescaped(const std::wstring& value) {
    const std::string bytes = platform::PathToOsBytes(value);
    std::string path;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '%') {
            path += bytes[i];
            continue;
        }
        if (i + 2 >= bytes.size())
            return std::nullopt;
        const auto high = HexDigit(bytes[i + 1]);
        const auto low = HexDigit(bytes[i + 2]);
        if (!high || !low)
            return std::nullopt;
        path += static_cast<char>(*high << 4 | *low);
        i += 2;
    }
    if (path.empty())
        return std::nullopt;
    return platform::PathFromOsBytes(path);
}

std::wstring FileKey(size_t number) {
    return L"File" + std::to_wstring(number);
}

std::optional<size_t> ParseCount(const std::wstring& value) {
    const std::string text = platform::PathToOsBytes(value);
    size_t count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return count;
}

}  // namespace

std::vector<std::wstring> ReadKeptList(const std::wstring& configPath) {
    const auto entries = platform::GetPrivateProfileSection(kSection, configPath);
    if (!entries)
        return {};
    // The first of two equal keys counts, as everywhere in the file.
    std::map<std::wstring, std::wstring> values;
    for (const platform::ProfileEntry& entry : *entries)
        values.emplace(entry.key, entry.value);
    const auto count = values.contains(kCountKey) ? ParseCount(values[kCountKey]) : std::nullopt;
    if (!count)
        return {};
    std::vector<std::wstring> paths;
    for (size_t number = 1; number <= *count; ++number) {
        const auto found = values.find(FileKey(number));
        const auto path = found != values.end() ? Unescaped(found->second) : std::nullopt;
        if (!path)
            return {};
        paths.push_back(*path);
    }
    return paths;
}

bool WriteKeptList(const std::wstring& configPath, const std::vector<std::wstring>& paths) {
    std::vector<platform::ProfileEntry> entries{{kCountKey, std::to_wstring(paths.size())}};
    for (size_t i = 0; i < paths.size(); ++i)
        entries.push_back({FileKey(i + 1), Escaped(paths[i])});
    return platform::WritePrivateProfileSection(kSection, entries, configPath);
}
