#include <gtest/gtest.h>

#include <string>

#include "app/DiagnosticLog.h"
#include "support/Bytes.h"
#include "support/InDirectory.h"
#include "support/TempDir.h"

namespace {

std::vector<uint8_t> Utf16Bytes(std::u16string_view text) {
    std::vector<uint8_t> bytes;
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

std::vector<uint8_t> LogBytes(std::initializer_list<std::u16string_view> lines) {
    std::vector<uint8_t> bytes{0xFF, 0xFE};
    for (const std::u16string_view line : lines) {
        const std::vector<uint8_t> encoded = Utf16Bytes(line);
        bytes.insert(bytes.end(), encoded.begin(), encoded.end());
        bytes.insert(bytes.end(), {0x0D, 0x00, 0x0A, 0x00});
    }
    return bytes;
}

}  // namespace

TEST(DiagnosticLogFile, FirstLineStartsTheFileAfreshAndLaterLinesAppend) {
    TempDir dir;
    const auto path = dir.File("log_OK_M.log");
    WriteFileBytes(path, {'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't'});
    DiagnosticLogFile log(path.wstring());
    EXPECT_TRUE(log.WriteLine(L"COnduLofrinApp::InitInstance()"));
    EXPECT_EQ(ReadFileBytes(path), LogBytes({u"COnduLofrinApp::InitInstance()"}));

    const std::wstring wide{L'\u89c6', L'\u9891', static_cast<wchar_t>(0x1F600)};
    EXPECT_TRUE(log.WriteLine(wide));
    EXPECT_TRUE(log.WriteLine(L""));
    EXPECT_EQ(ReadFileBytes(path),
              LogBytes({u"COnduLofrinApp::InitInstance()", u"\u89c6\u9891\U0001F600", u""}));

    DiagnosticLogFile nextProcess(path.wstring());
    EXPECT_TRUE(nextProcess.WriteLine(L"again"));
    EXPECT_EQ(ReadFileBytes(path), LogBytes({u"again"}));
}

TEST(DiagnosticLogFile, AcceptsAtMost2044CodeUnits) {
    TempDir dir;
    const auto path = dir.File("log_OK_M.log");
    DiagnosticLogFile log(path.wstring());
    EXPECT_FALSE(log.WriteLine(std::wstring(2045, L'x')));
    EXPECT_EQ(ReadFileBytes(path), LogBytes({}));  // started afresh all the same

    EXPECT_TRUE(log.WriteLine(std::wstring(2044, L'x')));
    EXPECT_EQ(ReadFileBytes(path).size(), 2u + 2 * 2046);

    // A character outside the basic plane takes two of the 2044 units.
    std::wstring nearlyFull(2043, L'y');
    EXPECT_FALSE(log.WriteLine(nearlyFull + static_cast<wchar_t>(0x1F600)));
    EXPECT_EQ(ReadFileBytes(path).size(), 2u + 2 * 2046);
}

TEST(DiagnosticLogFile, LineIsLostSilentlyWhenTheFileCannotBeOpened) {
    TempDir dir;
    DiagnosticLogFile log((dir.Path() / "no-such-folder" / "log_OK_M.log").wstring());
    EXPECT_TRUE(log.WriteLine(L"lost"));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "no-such-folder"));
}

TEST(WriteDiagnosticLog, FormatsIntoTheCurrentDirectorysLog) {
    TempDir dir;
    InDirectory inside(dir.Path());
    WriteFileBytes(dir.File("log_OK_M.log"), {1, 2, 3});
    EXPECT_TRUE(WriteDiagnosticLog(L"COnduLofrinApp::InitInstance()"));
    EXPECT_TRUE(WriteDiagnosticLog(L"%ls %d", L"\u89c6\u9891", 42));
    const std::wstring longest(2044, L'z');
    EXPECT_TRUE(WriteDiagnosticLog(L"%ls", longest.c_str()));
    const std::wstring tooLong(2045, L'z');
    EXPECT_FALSE(WriteDiagnosticLog(L"%ls", tooLong.c_str()));
    const std::wstring beyondTheBuffer(5000, L'z');
    EXPECT_FALSE(WriteDiagnosticLog(L"%ls", beyondTheBuffer.c_str()));

    const std::u16string longestLine(2044, u'z');
    EXPECT_EQ(ReadFileBytes(dir.File("log_OK_M.log")),
              LogBytes({u"COnduLofrinApp::InitInstance()", u"\u89c6\u9891 42", longestLine}));
}
