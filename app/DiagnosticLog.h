#pragma once

#include <string>
#include <string_view>

// A UTF-16LE text file with a byte-order mark, started afresh by the first
// line this object writes and appended to by every later one. The file is
// opened and closed for each line, so a line is on disk when the call returns.
class DiagnosticLogFile {
public:
    // Longest message a line may carry, in UTF-16 code units.
    static constexpr size_t kMaxMessageLength = 2044;

    explicit DiagnosticLogFile(std::wstring path) : path_(std::move(path)) {}

    // Truncates the file to its byte-order mark, the first time only. Tried
    // once even when the file cannot be opened.
    void StartOnce();

    // Appends the message and CR LF. Returns false, writing nothing, when the
    // message is too long; a file that cannot be opened loses the line but
    // still counts as written.
    bool WriteLine(std::wstring_view message);

private:
    std::wstring path_;
    bool started_ = false;
};

// Formats a line printf-style (wide strings as %ls) into "log_OK_M.log" in the
// current directory. The first call of the process starts the file afresh.
// Returns false, writing nothing, when the message is longer than 2044
// characters.
bool WriteDiagnosticLog(const wchar_t* format, ...);
