// Wine's registry file format: reading, writing back byte for byte, changes
// confined to the changed key, escapes, and the files that must be refused.
#include "platform/host/registry/RegistryFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/host/registry/RegistryText.h"

namespace {

const RegistryFile::Clock::time_point kNow =
    RegistryFile::Clock::time_point(std::chrono::seconds(1800000000));

// A file as Wine writes it, with every kind of value and option.
const std::string kMachine =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\Machine\n"
    "\n"
    "#arch=win32\n"
    "\n"
    "[Software\\\\Classes\\\\.txt] 1796740083\n"
    "#time=1dd8727440107d0\n"
    "@=\"txtfile\"\n"
    "\"Content Type\"=\"text/plain\"\n"
    "\n"
    "[Software\\\\Classes\\\\CLSID\\\\{0E59F1D5}\\\\MiscStatus\\\\1] 1796743059\n"
    "#time=1dd872743f52b4a\n"
    "#class=\"Some \\\"class\\\"\"\n"
    "@=\"\"\n"
    "\n"
    "[Software\\\\Test] 1796740083\n"
    "#time=1dd8727440107d0\n"
    "\"Bin\"=hex:01,02,03\n"
    "\"Dw\"=dword:0000002a\n"
    "\"Exp\"=str(2):\"%SystemRoot%\\\\x\"\n"
    "\"Multi\"=str(7):\"a\\0b\\0\"\n"
    "\"HardwareId\"=hex(7):72,00,6f,00,6f,00,74,00,5c,00,77,00,69,00,6e,00,65,00,62,\\\n"
    "  00,75,00,73,00,00,00,00,00,43,00,3a,00,5c,00,77,00,69,00,6e,00,64,00,6f,00,\\\n"
    "  77,00,73,00,5c,00,69,00,6e,00,66,00\n"
    "\"Esc\"=\"tab\\there \\\"q\\\" back\\\\slash \\x00e9t\\xe9\"\n"
    "\"Raw\"=\"caf\xC3\xA9\"\n"
    "\n"
    "[Software\\\\Wine\\\\Link] 1796740083\n"
    "#time=1dd8727440107d0\n"
    "#link\n"
    "\"SymbolicLinkValue\"=hex(6):5c,00,52,00\n"
    "\n"
    "[System\\\\Select] 1796740083\n"
    "#time=1dd8727440107d0\n"
    "\"Current\"=dword:00000001\n";

RegistryFile Load(const std::string& text) { return RegistryFile::Parse(text, "system.reg"); }

std::string Utf8Of(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out.push_back(static_cast<char>(c));
    return out;
}

std::string RegSz(const std::u16string& text) { return Utf16ToBytes(text + u'\0'); }

// The text of the file split at its key lines.
std::vector<std::string> Sections(const std::string& text) {
    std::vector<std::string> parts(1);
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line[0] == '[') parts.emplace_back();
        parts.back() += line;
        pos = end;
    }
    return parts;
}

std::string ErrorOf(const std::string& text) {
    try {
        Load(text);
    } catch (const ERegistryFileError& e) {
        return e.Message();
    }
    return "";
}

}  // namespace

TEST(RegistryFileTest, UnchangedFileIsWrittenBackByteForByte) {
    RegistryFile file = Load(kMachine);
    EXPECT_EQ(file.Serialize(), kMachine);
    EXPECT_EQ(file.Arch(), RegistryArch::Win32);
    // Reading values materialises keys without changing their text.
    RegistryFile::Value value;
    ASSERT_TRUE(file.QueryValue(u"software\\TEST", u"esc", value));
    EXPECT_EQ(file.Serialize(), kMachine);

    // Odd but readable layouts survive too: CRLF-free comments, blank lines,
    // no final newline, a key repeated.
    const std::string odd =
        "WINE REGISTRY Version 2\n;; comment\n\n\n[A] 1\n; note\n\"x\"=\"1\"\n\n\n"
        "  [B]\n\"y\"=dword:1\n[A] 2\n\"z\"=\"2\"";
    EXPECT_EQ(Load(odd).Serialize(), odd);
}

TEST(RegistryFileTest, ValuesReadAsWineStoresThem) {
    RegistryFile file = Load(kMachine);
    RegistryFile::Value value;
    ASSERT_TRUE(file.QueryValue(u"Software\\Test", u"Bin", value));
    EXPECT_EQ(value.type, win::REG_BINARY);
    EXPECT_EQ(value.data, std::string("\x01\x02\x03"));
    ASSERT_TRUE(file.QueryValue(u"Software\\Test", u"DW", value));
    EXPECT_EQ(value.type, win::REG_DWORD);
    EXPECT_EQ(value.data, std::string("\x2a\0\0\0", 4));
    ASSERT_TRUE(file.QueryValue(u"Software\\Test", u"Exp", value));
    EXPECT_EQ(value.type, win::REG_EXPAND_SZ);
    EXPECT_EQ(value.data, RegSz(u"%SystemRoot%\\x"));
    ASSERT_TRUE(file.QueryValue(u"Software\\Test", u"Multi", value));
    EXPECT_EQ(value.type, win::REG_MULTI_SZ);
    EXPECT_EQ(value.data, RegSz(std::u16string(u"a\0b\0", 4)));
    ASSERT_TRUE(file.QueryValue(u"Software\\Test", u"HardwareId", value));
    EXPECT_EQ(value.type, win::REG_MULTI_SZ);
    EXPECT_EQ(value.data.size(), 56u);
    ASSERT_TRUE(file.QueryValue(u"Software\\Test", u"Esc", value));
    EXPECT_EQ(value.data, RegSz(u"tab\there \"q\" back\\slash \u00e9t\u00e9"));
    ASSERT_TRUE(file.QueryValue(u"Software\\Test", u"Raw", value));
    EXPECT_EQ(value.data, RegSz(u"caf\u00e9"));
    ASSERT_TRUE(file.QueryValue(u"Software\\Classes\\.txt", u"", value));
    EXPECT_EQ(value.data, RegSz(u"txtfile"));
    EXPECT_FALSE(file.QueryValue(u"Software\\Test", u"Missing", value));
    EXPECT_FALSE(file.QueryValue(u"Software\\Nothing", u"", value));

    // Keys that only exist as parents of others, and the counts.
    EXPECT_TRUE(file.KeyExists(u"SOFTWARE\\classes"));
    EXPECT_TRUE(file.KeyExists(u""));
    std::uint32_t subKeys = 0, values = 0;
    ASSERT_TRUE(file.QueryInfo(u"Software", subKeys, values));
    EXPECT_EQ(subKeys, 3u);  // Classes, Test, Wine
    EXPECT_EQ(values, 0u);
    ASSERT_TRUE(file.QueryInfo(u"Software\\Test", subKeys, values));
    EXPECT_EQ(subKeys, 0u);
    EXPECT_EQ(values, 7u);

    // A repeated key is merged, the later value winning.
    RegistryFile merged =
        Load("WINE REGISTRY Version 2\n\n[A] 1\n\"x\"=\"1\"\n\"y\"=\"1\"\n\n[a] 2\n\"X\"=\"2\"\n");
    ASSERT_TRUE(merged.QueryValue(u"A", u"x", value));
    EXPECT_EQ(value.data, RegSz(u"2"));
    ASSERT_TRUE(merged.QueryInfo(u"A", subKeys, values));
    EXPECT_EQ(values, 2u);
}

TEST(RegistryFileTest, OneChangeRewritesOnlyThatKey) {
    RegistryFile file = Load(kMachine);
    ASSERT_TRUE(file.SetValue(u"software\\classes\\.TXT",
                              {u"content type", win::REG_SZ, RegSz(u"text/x-wordlist")}, kNow));
    const std::vector<std::string> before = Sections(kMachine);
    const std::vector<std::string> after = Sections(file.Serialize());
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (i != 1) {
            EXPECT_EQ(before[i], after[i]) << "section " << i;
        }
    }
    // The name keeps its first spelling; the time stamps are those of the change.
    EXPECT_EQ(after[1],
              "[Software\\\\Classes\\\\.txt] 1800000000\n"
              "#time=1dda4c66b338000\n"
              "@=\"txtfile\"\n"
              "\"Content Type\"=\"text/x-wordlist\"\n"
              "\n");

    // A new value goes after the last one, before the blank line.
    ASSERT_TRUE(file.SetValue(u"System\\Select", {u"New", win::REG_SZ, RegSz(u"v")}, kNow));
    const std::string text = file.Serialize();
    EXPECT_NE(text.find("\"Current\"=dword:00000001\n\"New\"=\"v\"\n"), std::string::npos);
    // Other kinds of value are carried through when a neighbour changes.
    ASSERT_TRUE(file.SetValue(u"Software\\Test", {u"Added", win::REG_SZ, RegSz(u"1")}, kNow));
    const std::string withTest = file.Serialize();
    const std::string original = Sections(kMachine)[3];
    const std::size_t firstValue = original.find("\"Bin\"");
    const std::size_t blank = original.rfind("\n\n");
    EXPECT_NE(
        withTest.find(original.substr(firstValue, blank + 1 - firstValue) + "\"Added\"=\"1\"\n\n"),
        std::string::npos);
    // And the result reads back to the same values.
    RegistryFile again = Load(withTest);
    RegistryFile::Value value;
    ASSERT_TRUE(again.QueryValue(u"Software\\Test", u"HardwareId", value));
    EXPECT_EQ(value.data.size(), 56u);
    ASSERT_TRUE(again.QueryValue(u"Software\\Classes\\.txt", u"Content Type", value));
    EXPECT_EQ(value.data, RegSz(u"text/x-wordlist"));
}

TEST(RegistryFileTest, KeysCreatedAndDeletedAsWindowsDoes) {
    RegistryFile file = Load(kMachine);
    EXPECT_TRUE(file.CreateKey(u"Software\\Classes\\Lingora.Wordlist\\Shell\\Open", kNow));
    EXPECT_FALSE(file.CreateKey(u"software\\CLASSES\\lingora.wordlist", kNow));
    ASSERT_TRUE(file.SetValue(u"Software\\Classes\\Lingora.Wordlist\\Shell\\Open",
                              {u"", win::REG_SZ, RegSz(u"x [y]")}, kNow));
    std::string text = file.Serialize();
    EXPECT_EQ(text.substr(0, kMachine.size()), kMachine);
    EXPECT_EQ(text.substr(kMachine.size()),
              "\n[Software\\\\Classes\\\\Lingora.Wordlist\\\\Shell\\\\Open] 1800000000\n"
              "#time=1dda4c66b338000\n"
              "@=\"x [y]\"\n");

    std::uint32_t subKeys = 0, values = 0;
    ASSERT_TRUE(file.QueryInfo(u"Software\\Classes", subKeys, values));
    EXPECT_EQ(subKeys, 3u);
    EXPECT_EQ(file.DeleteKey(u"Software\\Classes\\Lingora.Wordlist", kNow),
              RegistryFile::DeleteResult::HasSubkeys);
    EXPECT_EQ(file.DeleteKey(u"Software\\Classes\\Nothing", kNow),
              RegistryFile::DeleteResult::NotFound);
    EXPECT_EQ(file.DeleteKey(u"Software\\Classes\\Lingora.Wordlist\\Shell\\Open", kNow),
              RegistryFile::DeleteResult::Deleted);
    // Its parent stays, also after reading the file again.
    RegistryFile reread = Load(file.Serialize());
    EXPECT_FALSE(reread.KeyExists(u"Software\\Classes\\Lingora.Wordlist\\Shell\\Open"));
    EXPECT_TRUE(reread.KeyExists(u"Software\\Classes\\Lingora.Wordlist\\Shell"));
    EXPECT_EQ(reread.DeleteKey(u"Software\\Classes\\Lingora.Wordlist\\Shell", kNow),
              RegistryFile::DeleteResult::Deleted);
    EXPECT_EQ(reread.DeleteKey(u"Software\\Classes\\Lingora.Wordlist", kNow),
              RegistryFile::DeleteResult::Deleted);
    EXPECT_EQ(reread.Serialize().substr(0, kMachine.size()), kMachine);

    // Deleting an existing key removes its text and nothing else.
    EXPECT_EQ(file.DeleteKey(u"System\\Select", kNow), RegistryFile::DeleteResult::Deleted);
    EXPECT_TRUE(file.DeleteValue(u"Software\\Test", u"dw", kNow));
    EXPECT_FALSE(file.DeleteValue(u"Software\\Test", u"dw", kNow));
    text = file.Serialize();
    EXPECT_EQ(text.find("[System\\\\Select]"), std::string::npos);
    EXPECT_EQ(text.find("\"Dw\""), std::string::npos);
    EXPECT_NE(text.find("[System] "), std::string::npos);
    EXPECT_TRUE(Load(text).KeyExists(u"System"));
}

TEST(RegistryFileTest, EmptyFileHasWinesHeader) {
    RegistryFile file =
        RegistryFile::Empty("REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000", RegistryArch::Win64);
    EXPECT_EQ(file.Serialize(),
              "WINE REGISTRY Version 2\n;; All keys relative to "
              "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n");
    ASSERT_TRUE(file.CreateKey(u"Software", kNow));
    ASSERT_TRUE(file.SetValue(u"Software", {u"a", win::REG_SZ, RegSz(u"b")}, kNow));
    RegistryFile reread = Load(file.Serialize());
    EXPECT_EQ(reread.Arch(), RegistryArch::Win64);
    EXPECT_EQ(file.Serialize(), reread.Serialize());
}

TEST(RegistryTextTest, EscapesBothWays) {
    struct Case {
        std::u16string text;
        std::string written;
    };
    const std::vector<Case> cases = {
        {u"plain text", "plain text"},
        {u"a\\b\"c", "a\\\\b\\\"c"},
        {u"\a\b\t\n\v\f\r\x1b", "\\a\\b\\t\\n\\v\\f\\r\\e"},
        {u"\x01"
         u"7",
         "\\0017"},  // padded: an octal digit follows
        {u"\x01"
         u"8",
         "\\18"},
        {u"\x1f", "\\37"},
        {u"\u00e9a", "\\x00e9a"},  // padded: a hex digit follows
        {u"\u00e9g", "\\xe9g"},
        {u"\u20ac", "\\x20ac"},
        {u"\xd83c\xdf0e", "\\xd83c\\xdf0e"},
        {u"\x7f~", "\x7f~"},
        {std::u16string(u"a\0b", 3), "a\\0b"},
    };
    for (const Case& c : cases) {
        std::string out;
        WriteEscaped(c.text, "\"", false, out);
        EXPECT_EQ(out, c.written) << Utf8Of(c.text);
        std::u16string back;
        const std::string quoted = out + "\"";
        EXPECT_EQ(ReadEscaped(quoted, 0, '"', back), quoted.size());
        EXPECT_EQ(back, c.text) << c.written;
    }
    // Key names escape their brackets; string data drops its final zero.
    std::string key;
    WriteEscaped(u"a[1]", "[]", false, key);
    EXPECT_EQ(key, "a\\[1\\]");
    std::string data;
    WriteEscaped(std::u16string(u"x\0", 2), "\"", true, data);
    EXPECT_EQ(data, "x");
    // Raw UTF-8, including a character outside the basic plane, is read too.
    std::u16string raw;
    ReadEscaped("\xC3\xA9\xF0\x9F\x8C\x8E\"", 0, '"', raw);
    EXPECT_EQ(raw, u"\u00e9\xd83c\xdf0e");
    raw.clear();
    ReadEscaped("\xFF\"", 0, '"', raw);
    EXPECT_EQ(raw, u"\xfffd");
}

TEST(RegistryTextTest, ValueLinesAsWineWritesThem) {
    // Lines taken from files written by Wine: parsed and written again, each
    // comes out the same.
    const std::vector<std::string> lines = {
        "\"HardwareId\"=hex(7):72,00,6f,00,6f,00,74,00,5c,00,77,00,69,00,6e,00,65,00,62,\\\n"
        "  00,75,00,73,00,00,00,00,00,43,00,3a,00,5c,00,77,00,69,00,6e,00,64,00,6f,00,\\\n"
        "  77,00,73,00,5c,00,69,00,6e,00,66,00\n",
        "\"FilterData\"=hex:02,00,00,00,00,00,60,00,02,00,00,00,00,00,00,00,30,70,69,33,\\\n"
        "  00,00,00,00,00,00,00,00,01,00,00,00\n",
        "@=str(2):\"C:\\\\Program Files\\\\Internet Explorer\\\\iexplore.exe,1\"\n",
        "\"Dll\"=str(7):\"cryptnet.dll\\0\"\n",
        "\"BitLength\"=dword:00000010\n",
        "\"0\"=hex:1f,00\n",
        "@=\"\"\n",
        "\"Empty\"=hex:\n",
        "\"Odd\"=hex(1):41,00,42\n",
        "\"Name \\\"quoted\\\"\"=\"\\x20ac\"\n",
    };
    for (const std::string& text : lines) {
        std::vector<std::string_view> parts;
        std::size_t pos = 0;
        while (pos < text.size()) {
            const std::size_t nl = text.find('\n', pos);
            parts.push_back(std::string_view(text).substr(pos, nl - pos));
            pos = nl + 1;
        }
        std::size_t next = 1;
        ParsedValue value;
        ParseValueLine(
            parts[0], [&] { return parts.at(next++); }, value);
        EXPECT_EQ(next, parts.size()) << text;
        EXPECT_EQ(FormatValueLine(value.name, value.type, value.data), text);
    }
}

TEST(RegistryFileTest, UnreadableFilesNameFileAndLine) {
    struct Case {
        std::string text;
        std::string message;
    };
    const std::string head =
        "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n";
    const std::vector<Case> cases = {
        {"WINE REGISTRY Version 1\n", "line 1: the first line is not"},
        {"", "line 1: the first line is not"},
        {"WINE REGISTRY Version 2\r\n", "line 1: the first line is not"},
        {head + "#arch=win16\n", "line 4: an unknown architecture"},
        {head + "#arch=win32\n#arch=win64\n", "line 5: a second #arch"},
        {head + "[Software\\\\Open 1796740083\n", "line 4: a key name without its closing bracket"},
        {head + "[A] 1\n\"x\"=\"bad \\", "line 5: a backslash at the end of the line"},
        {head + "[A] 1\n\"x\"=\"\\xg\"\n", "line 5: a \\x escape without hex digits"},
        {head + "[A] 1\n\n\"x\"=\"open\n", "line 6: an unterminated string"},
        {head + "[A] 1\n\"open=\"x\"\n", "line 5: a value without ="},
        {head + "[A] 1\n\"x\"=hex:01,\\\n", "line 5: hex data that goes on past the end"},
        {head + "[A] 1\n\"x\"=hex:1ff\n", "line 5: a hex byte above ff"},
        {head + "[A] 1\n\"x\"=hex(zz):00\n", "line 5: a bad hex(type)"},
        {head + "[A] 1\n\"x\"=word:1\n", "line 5: a value of an unknown kind"},
        {head + "[A] 1\n#class=none\n", "line 5: a #class option without"},
        {head + "[A\\\\\\\\B] 1\n", "line 4: a key name with an empty part"},
        {head + "\"x\"=\"1\"\n", "line 4: a value before the first key"},
        {head + "[A] 1\nrubbish\n", "line 5: a line that is neither"},
        {head + "[A] 1\n\"x\"=\"a" + std::string(1, '\0') + "\"\n", "line 5: a zero byte"},
    };
    for (const Case& c : cases) {
        const std::string message = ErrorOf(c.text);
        EXPECT_NE(message.find("The registry file \"system.reg\" cannot be read: " + c.message),
                  std::string::npos)
            << "got: " << message;
    }
}
