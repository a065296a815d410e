#include "platform/IniProfile.h"

#include <unistd.h>

#include <cerrno>
#include <optional>
#include <vector>

#include "platform/PathBytes.h"
#include "platform/WholeFile.h"
#include "platform/WideText.h"

namespace platform {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

struct Line {
    std::string text;    // without its line break
    std::string ending;  // "\n", "\r\n" or empty for an unterminated last line
};

struct Profile {
    std::string mark;  // a UTF-8 byte-order mark, kept when the file is written back
    std::vector<Line> lines;
};

// Far beyond any list a person keeps; a larger file is not taken for one.
constexpr uint64_t kLargestProfile = uint64_t{16} << 20;

std::optional<std::string> ReadProfileFile(const std::wstring& path) {
    const auto bytes = platform::ReadWholeFile(PathToOsBytes(path), kLargestProfile);
    if (!bytes)
        return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

Profile ParseProfile(std::string_view content) {
    Profile profile;
    if (content.starts_with(kUtf8Mark)) {
        profile.mark = kUtf8Mark;
        content.remove_prefix(kUtf8Mark.size());
    }
    while (!content.empty()) {
        const size_t newline = content.find('\n');
        Line line;
        line.text = content.substr(0, newline);
        if (newline == std::string_view::npos) {
            content = {};
        } else {
            line.ending = "\n";
            content.remove_prefix(newline + 1);
        }
        if (line.text.ends_with('\r')) {
            line.text.pop_back();
            line.ending = "\r" + line.ending;
        }
        profile.lines.push_back(std::move(line));
    }
    return profile;
}

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

std::optional<std::string_view> SectionName(std::string_view lineText) {
    const std::string_view text = Trim(lineText);
    if (!text.starts_with('['))
        return std::nullopt;
    const size_t close = text.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(text.substr(1, close - 1));
}

struct Entry {
    std::string_view key;
    std::string_view value;
};

std::optional<Entry> ParseEntry(std::string_view lineText) {
    const std::string_view text = Trim(lineText);
    if (text.empty() || text.starts_with(';') || text.starts_with('['))
        return std::nullopt;
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return Entry{Trim(text), {}};
    return Entry{Trim(text.substr(0, equals)), Trim(text.substr(equals + 1))};
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == '"' || value.front() == '\'')) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// A value the reader would trim or unquote goes inside quotes, so it reads
// back exactly as written.
std::string QuoteWhenNeeded(const std::string& value) {
    if (value.empty())
        return value;
    const bool padded = Trim(value).size() != value.size();
    if (padded || Unquote(value).size() != value.size())
        return '"' + value + '"';
    return value;
}

std::optional<size_t> FindSection(const Profile& profile, std::string_view section) {
    for (size_t i = 0; i < profile.lines.size(); ++i) {
        const auto name = SectionName(profile.lines[i].text);
        if (name && SameName(*name, section))
            return i;
    }
    return std::nullopt;
}

// One past the last line of the section whose header is at `header`.
size_t SectionEnd(const Profile& profile, size_t header) {
    size_t end = header + 1;
    while (end < profile.lines.size() && !SectionName(profile.lines[end].text))
        ++end;
    return end;
}

std::optional<size_t> FindKey(const Profile& profile, size_t header, std::string_view key) {
    const size_t end = SectionEnd(profile, header);
    for (size_t i = header + 1; i < end; ++i) {
        const auto entry = ParseEntry(profile.lines[i].text);
        if (entry && SameName(entry->key, key))
            return i;
    }
    return std::nullopt;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != text.npos;
}

bool ChangesStructure(std::string_view section, std::string_view key, std::string_view value) {
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value))
        return true;
    if (section.find(']') != section.npos || key.find('=') != key.npos)
        return true;
    return key.empty() || key.starts_with('[') || key.starts_with(';');
}

std::string NewLineEnding(const Profile& profile) {
    for (const Line& line : profile.lines) {
        if (line.ending == "\r\n")
            return "\r\n";
    }
    return "\n";
}

void SetEntry(Profile& profile, std::string_view section, std::string_view key,
              const std::string& storedValue) {
    const std::string ending = NewLineEnding(profile);
    const std::optional<size_t> header = FindSection(profile, section);
    if (!header) {
        if (!profile.lines.empty() && profile.lines.back().ending.empty()) {
            profile.lines.back().ending = ending;
        }
        profile.lines.push_back({"[" + std::string(section) + "]", ending});
        profile.lines.push_back({std::string(key) + "=" + storedValue, ending});
        return;
    }
    if (const std::optional<size_t> found = FindKey(profile, *header, key)) {
        Line& line = profile.lines[*found];
        line.text = std::string(ParseEntry(line.text)->key) + "=" + storedValue;
        return;
    }
    size_t insertAt = SectionEnd(profile, *header);
    while (insertAt > *header + 1 && Trim(profile.lines[insertAt - 1].text).empty())
        --insertAt;
    Line& previous = profile.lines[insertAt - 1];
    if (previous.ending.empty())
        previous.ending = ending;
    profile.lines.insert(profile.lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
                         Line{std::string(key) + "=" + storedValue, ending});
}

// The lines after the header of the section at `header` up to its last one
// that is not blank, which `lines` replace.
void ReplaceSectionBody(Profile& profile, size_t header, std::vector<Line> lines) {
    size_t end = SectionEnd(profile, header);
    while (end > header + 1 && Trim(profile.lines[end - 1].text).empty())
        --end;
    const auto first = profile.lines.begin() + static_cast<std::ptrdiff_t>(header + 1);
    profile.lines.erase(first, profile.lines.begin() + static_cast<std::ptrdiff_t>(end));
    profile.lines.insert(profile.lines.begin() + static_cast<std::ptrdiff_t>(header + 1),
                         lines.begin(), lines.end());
}

void SetSection(Profile& profile, std::string_view section, std::vector<Line> lines) {
    const std::string ending = NewLineEnding(profile);
    for (Line& line : lines)
        line.ending = ending;
    std::optional<size_t> header = FindSection(profile, section);
    if (!header) {
        if (!profile.lines.empty() && profile.lines.back().ending.empty())
            profile.lines.back().ending = ending;
        profile.lines.push_back({"[" + std::string(section) + "]", ending});
        header = profile.lines.size() - 1;
    }
    ReplaceSectionBody(profile, *header, std::move(lines));
}

std::string Serialise(const Profile& profile) {
    std::string content = profile.mark;
    for (const Line& line : profile.lines)
        content += line.text + line.ending;
    return content;
}

// The file's profile, or an empty one when there is no file; nothing when a
// file is there but cannot be read, since replacing it would lose it.
std::optional<Profile> ProfileToChange(const std::wstring& path) {
    if (const std::optional<std::string> content = ReadProfileFile(path))
        return ParseProfile(*content);
    if (access(PathToOsBytes(path).c_str(), F_OK) != 0 && errno == ENOENT)
        return Profile{};
    return std::nullopt;
}

bool Save(const Profile& profile, const std::wstring& path) {
    const std::string content = Serialise(profile);
    return ReplaceWholeFile(PathToOsBytes(path),
                            std::vector<uint8_t>(content.begin(), content.end()));
}

std::string ValueOf(std::string_view lineText) {
    return std::string(Unquote(ParseEntry(lineText)->value));
}

}  // namespace

std::wstring GetPrivateProfileString(std::wstring_view section, std::wstring_view key,
                                     std::wstring_view defaultValue, const std::wstring& path) {
    const std::optional<std::string> content = ReadProfileFile(path);
    if (!content)
        return std::wstring(defaultValue);
    const Profile profile = ParseProfile(*content);
    const std::string sectionName(Trim(WideToUtf8(section)));
    const std::string keyName(Trim(WideToUtf8(key)));
    const std::optional<size_t> header = FindSection(profile, sectionName);
    if (!header)
        return std::wstring(defaultValue);
    const std::optional<size_t> found = FindKey(profile, *header, keyName);
    if (!found)
        return std::wstring(defaultValue);
    // Values are mostly paths (where the firewall rule was installed), so they
    // keep their bytes both ways.
    return PathFromOsBytes(ValueOf(profile.lines[*found].text));
}

bool WritePrivateProfileString(std::wstring_view section, std::wstring_view key,
                               std::wstring_view value, const std::wstring& path) {
    const std::string sectionName(Trim(WideToUtf8(section)));
    const std::string keyName(Trim(WideToUtf8(key)));
    const std::string valueBytes = PathToOsBytes(value);
    if (ChangesStructure(sectionName, keyName, valueBytes))
        return false;
    std::optional<Profile> profile = ProfileToChange(path);
    if (!profile)
        return false;
    SetEntry(*profile, sectionName, keyName, QuoteWhenNeeded(valueBytes));
    return Save(*profile, path);
}

std::optional<std::vector<ProfileEntry>> GetPrivateProfileSection(std::wstring_view section,
                                                                  const std::wstring& path) {
    const std::optional<std::string> content = ReadProfileFile(path);
    if (!content)
        return std::nullopt;
    const Profile profile = ParseProfile(*content);
    const std::optional<size_t> header = FindSection(profile, Trim(WideToUtf8(section)));
    if (!header)
        return std::nullopt;
    std::vector<ProfileEntry> entries;
    for (size_t i = *header + 1; i < SectionEnd(profile, *header); ++i) {
        if (const auto entry = ParseEntry(profile.lines[i].text)) {
            entries.push_back(
                {PathFromOsBytes(entry->key), PathFromOsBytes(ValueOf(profile.lines[i].text))});
        }
    }
    return entries;
}

bool WritePrivateProfileSection(std::wstring_view section, const std::vector<ProfileEntry>& entries,
                                const std::wstring& path) {
    const std::string sectionName(Trim(WideToUtf8(section)));
    std::vector<Line> lines;
    for (const ProfileEntry& entry : entries) {
        const std::string keyName(Trim(WideToUtf8(entry.key)));
        const std::string valueBytes = PathToOsBytes(entry.value);
        if (ChangesStructure(sectionName, keyName, valueBytes))
            return false;
        lines.push_back({keyName + "=" + QuoteWhenNeeded(valueBytes), {}});
    }
    std::optional<Profile> profile = ProfileToChange(path);
    if (!profile)
        return false;
    SetSection(*profile, sectionName, std::move(lines));
    return Save(*profile, path);
}

}  // namespace platform
