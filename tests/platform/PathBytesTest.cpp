#include <gtest/gtest.h>

#include <string>

#include "platform/PathBytes.h"
#include "platform/WideText.h"

namespace {

wchar_t Wide(char32_t c) {
    return static_cast<wchar_t>(c);
}

struct PathCase {
    const char* name;
    std::string bytes;
    std::wstring wide;
};

}  // namespace

// Each byte that is not valid UTF-8 becomes one lone surrogate and comes back
// as the same byte; valid UTF-8 becomes its code points.
TEST(PathBytes, KeepsEveryByteThroughTheWideForm) {
    const PathCase cases[] = {
        {"ascii", "/m/a.mp4", L"/m/a.mp4"},
        {"utf8", "/m/caf\xC3\xA9.mp4", L"/m/caf\u00e9.mp4"},
        {"latin1", "/m/caf\xE9 cr\xE8me.mp4",
         std::wstring(L"/m/caf") + Wide(0xDCE9) + L" cr" + Wide(0xDCE8) + L"me.mp4"},
        // GBK for two Chinese characters; its second pair happens to be
        // valid UTF-8 and becomes U+01B5, and still comes back as it was.
        {"gbk", "\xCA\xD3\xC6\xB5", {Wide(0xDCCA), Wide(0xDCD3), Wide(0x01B5)}},
        {"encoded surrogate", "\xED\xB3\xA9", {Wide(0xDCED), Wide(0xDCB3), Wide(0xDCA9)}},
        {"truncated sequence", "a\xE8\xA7", {L'a', Wide(0xDCE8), Wide(0xDCA7)}},
        {"overlong", "\xC0\xAF", {Wide(0xDCC0), Wide(0xDCAF)}},
        {"four bytes", "\xF0\x9F\x98\x80", {Wide(0x1F600)}},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform::PathFromOsBytes(c.bytes), c.wide);
        EXPECT_EQ(platform::PathToOsBytes(c.wide), c.bytes);
        EXPECT_EQ(platform::HasUndecodableBytes(c.wide),
                  platform::Utf8ToWide(c.bytes) != platform::PathFromOsBytes(c.bytes));
    }
}

TEST(PathBytes, EveryHighByteRoundTripsAlone) {
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const std::string bytes(1, static_cast<char>(byte));
        EXPECT_EQ(platform::PathToOsBytes(platform::PathFromOsBytes(bytes)), bytes) << byte;
    }
}

// Only the title is made valid text: the surrogates show as U+FFFD there.
TEST(PathBytes, TitlesShowUndecodableBytesAsReplacement) {
    const std::wstring wide = platform::PathFromOsBytes("caf\xE9.mp4");
    EXPECT_EQ(platform::WideToUtf8(wide), "caf\xEF\xBF\xBD.mp4");
}

TEST(PathBytes, SurrogatesNoByteMapsToBecomeReplacementAndZeroEnds) {
    EXPECT_EQ(platform::PathToOsBytes(std::wstring{Wide(0xD800), L'x'}), "\xEF\xBF\xBDx");
    EXPECT_EQ(platform::PathToOsBytes(std::wstring{Wide(0xDC7F)}), "\xEF\xBF\xBD");
    EXPECT_EQ(platform::PathToOsBytes(std::wstring(L"ab\0cd", 5)), "ab");
}
