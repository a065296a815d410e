#include <gtest/gtest.h>

#include "platform/WindowsCommandLine.h"

using platform::SplitWindowsCommandLine;
using Words = std::vector<std::wstring>;

TEST(WindowsCommandLine, BlanksSeparateAndQuotesGroup) {
    EXPECT_EQ(SplitWindowsCommandLine(L""), Words{});
    EXPECT_EQ(SplitWindowsCommandLine(L" \t "), Words{});
    EXPECT_EQ(SplitWindowsCommandLine(L"  netsh \t a  b "), (Words{L"netsh", L"a", L"b"}));
    EXPECT_EQ(SplitWindowsCommandLine(L"netsh program=\"/opt/Ondu Lofrin/x\" action=allow"),
              (Words{L"netsh", L"program=/opt/Ondu Lofrin/x", L"action=allow"}));
    EXPECT_EQ(SplitWindowsCommandLine(L"p \"\" x"), (Words{L"p", L"", L"x"}));
    EXPECT_EQ(SplitWindowsCommandLine(L"p \"open"), (Words{L"p", L"open"}));
}

TEST(WindowsCommandLine, BackslashesEscapeOnlyBeforeQuotes) {
    EXPECT_EQ(SplitWindowsCommandLine(LR"(p a\b a\\b)"), (Words{L"p", LR"(a\b)", LR"(a\\b)"}));
    EXPECT_EQ(SplitWindowsCommandLine(LR"(p \"x\" "a\\" b)"),
              (Words{L"p", LR"("x")", LR"(a\)", L"b"}));
    EXPECT_EQ(SplitWindowsCommandLine(LR"(p \\\"x)"), (Words{L"p", LR"(\"x)"}));
    EXPECT_EQ(SplitWindowsCommandLine(LR"(p "a""b" c)"), (Words{L"p", LR"(a"b)", L"c"}));
}

TEST(WindowsCommandLine, ProgramWordKnowsNoEscapes) {
    EXPECT_EQ(SplitWindowsCommandLine(LR"("C:\Program Files\x\" y)"),
              (Words{LR"(C:\Program Files\x\)", L"y"}));
    EXPECT_EQ(SplitWindowsCommandLine(L"\"/opt/a b\"c d"), (Words{L"/opt/a bc", L"d"}));
}
