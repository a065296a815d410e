#include <gtest/gtest.h>

#include "platform/WideText.h"

TEST(WideToUtf8, EncodesEveryWidth) {
    EXPECT_EQ(platform::WideToUtf8(L"abc.mp4"), "abc.mp4");
    EXPECT_EQ(platform::WideToUtf8(L"\u00e9"), "\xC3\xA9");
    EXPECT_EQ(platform::WideToUtf8(L"\u89c6\u9891.mkv"), "\xE8\xA7\x86\xE9\xA2\x91.mkv");
    EXPECT_EQ(platform::WideToUtf8(std::wstring(1, static_cast<wchar_t>(0x1F600))),
              "\xF0\x9F\x98\x80");
}

TEST(WideToUtf8, StopsAtFirstZero) {
    const std::wstring withZero(L"ab\0cd", 5);
    EXPECT_EQ(platform::WideToUtf8(withZero), "ab");
}

TEST(WideToUtf8, JoinsSurrogatePairsAndReplacesInvalidValues) {
    const std::wstring pair{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    EXPECT_EQ(platform::WideToUtf8(pair), "\xF0\x9F\x98\x80");

    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(platform::WideToUtf8(std::wstring{static_cast<wchar_t>(0xD800), L'x'}),
              replacement + "x");
    EXPECT_EQ(platform::WideToUtf8(std::wstring{static_cast<wchar_t>(0xDC00)}), replacement);
    EXPECT_EQ(platform::WideToUtf8(std::wstring{static_cast<wchar_t>(0x110000)}), replacement);
}

TEST(Utf8ToWide, RoundTripsAndRejectsMalformedInput) {
    const std::wstring text = L"\u89c6\u9891 \u00e9 x";
    EXPECT_EQ(platform::Utf8ToWide(platform::WideToUtf8(text)), text);
    EXPECT_EQ(platform::Utf8ToWide("\xC0\xAF"), std::wstring(2, static_cast<wchar_t>(0xFFFD)));
    EXPECT_EQ(platform::Utf8ToWide("a\xE8\xA7"),
              L"a" + std::wstring(2, static_cast<wchar_t>(0xFFFD)));
    EXPECT_EQ(platform::Utf8ToWide("\xED\xA0\x80"), std::wstring(3, static_cast<wchar_t>(0xFFFD)));
}
