// The text forms of desktop entries: what Setup writes into an Exec key reads
// back as the same arguments, and values that a desktop entry cannot hold are
// refused rather than written broken. (The desktop's own reader, gio, reads
// the written entries in HostDesktop_test.)
#include "platform/host/machine/DesktopEntryText.h"

#include <gtest/gtest.h>

#include "platform/host/machine/HostDesktop.h"

using namespace desktopentry;

TEST(DesktopEntryTextTest, ExecArgumentsReadBackAsWritten) {
    const std::vector<std::vector<std::string>> commands = {
        {"env", "WINEPREFIX=/home/ann/wine", "wine", "start", "C:\\Program Files\\Lingora\\L.exe"},
        {"wine", "start", "C:\\Taal & Woorden\\100% \"echt\"\\$HOME `x` 'y' (z) ; | < > ~ * ? #"},
        {"wine", "", "W\xC3\xB6rter \xE2\x82\xAC", "tab\there"},
    };
    for (const auto& arguments : commands) {
        const std::optional<std::string> value = ExecValue(arguments);
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(value->find('\n'), std::string::npos);
        EXPECT_EQ(ExecArguments(*value), arguments) << *value;
    }
}

TEST(DesktopEntryTextTest, ExecQuotesOnlyWhatNeedsItAndKeepsFieldCodes) {
    EXPECT_EQ(*ExecValue({"wine", "start", "/ProgIDOpen", "Lingora.Wordlist"}, "%f"),
              "wine start /ProgIDOpen Lingora.Wordlist %f");
    // A backslash is escaped inside the quotes, then again as a string value.
    EXPECT_EQ(*ExecValue({"wine", "C:\\A B"}), "wine \"C:\\\\\\\\A B\"");
    EXPECT_EQ(*ExecValue({"50%"}), "50%%");
    EXPECT_EQ(ExecArguments("wine start %f"), (std::vector<std::string>{"wine", "start", "%f"}));
}

TEST(DesktopEntryTextTest, ReadsWinesPartlyQuotedPrefix) {
    EXPECT_EQ(
        ExecArguments("env WINEPREFIX=\"/home/ann/my wine\" wine C:\\\\\\\\x.exe"),
        (std::vector<std::string>{"env", "WINEPREFIX=/home/ann/my wine", "wine", "C:\\x.exe"}));
}

TEST(DesktopEntryTextTest, StringValuesEscapeAndRefuseControlCharacters) {
    EXPECT_EQ(*StringValue(" a\\b\nc\td"), "\\sa\\\\b\\nc\\td");
    EXPECT_EQ(UnescapeStringValue("\\sa\\\\b\\nc\\td"), " a\\b\nc\td");
    EXPECT_FALSE(StringValue(std::string("bell\a")).has_value());
    EXPECT_FALSE(ExecValue({"wine", std::string("esc\x1b")}).has_value());
}

TEST(DesktopEntryTextTest, XmlTextEscapesMarkup) {
    EXPECT_EQ(XmlText("Taal & <Woorden> \"'"), "Taal &amp; &lt;Woorden&gt; &quot;&apos;");
}

TEST(DesktopEntryTextTest, WineDllOverridesSwitchTheMenuBuilderOff) {
    EXPECT_TRUE(MenuBuilderDisabled("winemenubuilder.exe=d"));
    EXPECT_TRUE(MenuBuilderDisabled("mscoree,mshtml=;winemenubuilder.exe="));
    EXPECT_TRUE(MenuBuilderDisabled("WineMenuBuilder.EXE = d"));
    EXPECT_TRUE(MenuBuilderDisabled("mscoree,winemenubuilder=d"));
    EXPECT_FALSE(MenuBuilderDisabled(""));
    EXPECT_FALSE(MenuBuilderDisabled("mscoree=d"));
    EXPECT_FALSE(MenuBuilderDisabled("winemenubuilder.exe=n,b"));
    EXPECT_FALSE(MenuBuilderDisabled("winemenubuilder.exe=d;winemenubuilder.exe=b"));
    EXPECT_FALSE(MenuBuilderDisabled("xwinemenubuilder.exe=d"));
}
