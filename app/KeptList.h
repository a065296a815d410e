#pragma once

#include <string>
#include <vector>

// The window's list of files, kept between runs in Config.ini's section
// [Files]: Count=N, then File1 to FileN from the top of the list. Each value
// is the path's bytes, with "%" and the control characters written as %XX,
// so that every path reads back as the bytes it was.

// The kept list; empty when there is none, or when the section is damaged
// (a count that is not a number, an entry missing, empty or badly escaped)
// or the file cannot be read: a list that cannot be trusted is not shown.
std::vector<std::wstring> ReadKeptList(const std::wstring& configPath);

// Replaces the kept list with `paths`, the rest of the file as it was; the
// file is replaced whole. False when it could not be written.
bool WriteKeptList(const std::wstring& configPath, const std::vector<std::wstring>& paths);
