#include "platform/CodePage.h"

#include <gtest/gtest.h>

TEST(CodePage, Windows1252RoundTripsThroughUtf8) {
    // e-acute, euro sign (0x80), left/right double quotes (0x93/0x94), y-diaeresis (0xFF).
    const std::string ansi = "Caf\xE9 \x80 \x93quoted\x94 \xFF";
    const std::string utf8 = AnsiToUtf8(ansi);
    EXPECT_EQ(utf8, "Caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cquoted\xE2\x80\x9D \xC3\xBF");
    ASSERT_TRUE(Utf8ToAnsi(utf8).has_value());
    EXPECT_EQ(*Utf8ToAnsi(utf8), ansi);
}

TEST(CodePage, UndefinedBytesBecomeControlCharactersAndComeBack) {
    const std::string ansi = "\x81\x8D\x8F\x90\x9D";
    const std::u16string utf16 = AnsiToUtf16(ansi);
    EXPECT_EQ(utf16, (std::u16string{0x81, 0x8D, 0x8F, 0x90, 0x9D}));
    EXPECT_EQ(Utf16ToAnsi(utf16), ansi);
}

TEST(CodePage, CharactersOutsideWindows1252AreRefused) {
    EXPECT_FALSE(Utf8ToAnsi("\xE6\x97\xA5").has_value());  // a CJK character
    EXPECT_FALSE(Utf8ToAnsi("\xC3").has_value());          // truncated UTF-8
    EXPECT_FALSE(Utf16ToAnsi(u"\u0100").has_value());
    EXPECT_EQ(Utf8ToAnsi(""), std::string());
}

TEST(CodePage, Utf16ToUtf8ConvertsWithReplacementForBrokenInput) {
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}
