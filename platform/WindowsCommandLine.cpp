#include "platform/WindowsCommandLine.h"

namespace platform {
namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

void SkipBlanks(std::wstring_view text, size_t& at) {
    while (at < text.size() && IsBlank(text[at]))
        ++at;
}

std::wstring ReadProgramWord(std::wstring_view text, size_t& at) {
    std::wstring word;
    bool quoted = false;
    for (; at < text.size(); ++at) {
        const wchar_t c = text[at];
        if (c == L'"') {
            quoted = !quoted;
        } else if (IsBlank(c) && !quoted) {
            break;
        } else {
            word.push_back(c);
        }
    }
    return word;
}

std::wstring ReadArgumentWord(std::wstring_view text, size_t& at) {
    std::wstring word;
    bool quoted = false;
    while (at < text.size()) {
        size_t backslashes = 0;
        while (at < text.size() && text[at] == L'\\') {
            ++backslashes;
            ++at;
        }
        if (at < text.size() && text[at] == L'"') {
            word.append(backslashes / 2, L'\\');
            if (backslashes % 2 == 1) {
                word.push_back(L'"');
            } else if (quoted && at + 1 < text.size() && text[at + 1] == L'"') {
                word.push_back(L'"');
                ++at;
            } else {
                quoted = !quoted;
            }
            ++at;
            continue;
        }
        word.append(backslashes, L'\\');
        if (at == text.size() || (IsBlank(text[at]) && !quoted))
            break;
        word.push_back(text[at]);
        ++at;
    }
    return word;
}

}  // namespace

std::vector<std::wstring> SplitWindowsCommandLine(std::wstring_view commandLine) {
    std::vector<std::wstring> words;
    size_t at = 0;
    SkipBlanks(commandLine, at);
    if (at == commandLine.size())
        return words;
    words.push_back(ReadProgramWord(commandLine, at));
    for (;;) {
        SkipBlanks(commandLine, at);
        if (at == commandLine.size())
            break;
        words.push_back(ReadArgumentWord(commandLine, at));
    }
    return words;
}

}  // namespace platform
