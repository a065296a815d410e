#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Profile files in the INI format of Windows, read and written in UTF-8.
// Section and key names match without regard to ASCII letter case; spaces
// around names and values are insignificant, and a value inside a pair of
// matching quotes reads without them. The first matching section and key win.

// The value of `key` in `section`, or `defaultValue` when the file, the
// section or the key is missing.
std::wstring GetPrivateProfileString(std::wstring_view section, std::wstring_view key,
                                     std::wstring_view defaultValue, const std::wstring& path);

// Sets `key` in `section` to `value`, creating the file, the section or the
// key when missing. Every other line of the file is kept byte for byte.
// Refuses (returns false) names or values that would change the file's
// structure: line breaks anywhere, "]" in a section name, "=" in a key name.
// The file is replaced whole (ReplaceWholeFile), so a reader, and the disk
// after a power cut, hold the old one or the new one; it keeps its mode, and
// a symbolic link keeps leading to it. A file that is there but cannot be
// read, or is no regular file, is left alone.
bool WritePrivateProfileString(std::wstring_view section, std::wstring_view key,
                               std::wstring_view value, const std::wstring& path);

struct ProfileEntry {
    std::wstring key;
    std::wstring value;
};

// The entries of `section` in the file's order, values read as above;
// nothing when the file cannot be read or has no such section.
std::optional<std::vector<ProfileEntry>> GetPrivateProfileSection(std::wstring_view section,
                                                                  const std::wstring& path);

// Makes `entries` the whole of `section` (added at the end when missing),
// written and refused as WritePrivateProfileString writes and refuses.
bool WritePrivateProfileSection(std::wstring_view section, const std::vector<ProfileEntry>& entries,
                                const std::wstring& path);

}  // namespace platform
