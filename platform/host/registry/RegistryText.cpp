#include "platform/host/registry/RegistryText.h"

#include <cstdio>

#include "platform/WinTypes.h"

namespace {

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

void AppendCodePoint(char32_t cp, std::u16string& out) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

// One UTF-8 sequence at text[pos] (its first byte is above 127); an invalid
// sequence is one byte read as U+FFFD.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(pos);
    int length = 0;
    char32_t cp = 0;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
        cp = first & 0x1F;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        cp = first & 0x0F;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        cp = first & 0x07;
    } else {
        ++pos;
        return 0xFFFD;
    }
    if (pos + length > text.size()) {
        ++pos;
        return 0xFFFD;
    }
    for (int i = 1; i < length; ++i) {
        const unsigned char b = byte(pos + i);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    const bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return 0xFFFD;
    }
    pos += length;
    return cp;
}

void AppendFormat(std::string& out, const char* format, unsigned value) {
    char buffer[16];
    const int n = std::snprintf(buffer, sizeof buffer, format, value);
    out.append(buffer, static_cast<std::size_t>(n));
}

}  // namespace

namespace {

// The character that a letter escape stands for ("\n", "\e" ...), or -1 when
// the letter makes none.
int LetterEscape(char letter) {
    switch (letter) {
        case 'a':
            return u'\a';
        case 'b':
            return u'\b';
        case 'e':
            return 0x1B;
        case 'f':
            return u'\f';
        case 'n':
            return u'\n';
        case 'r':
            return u'\r';
        case 't':
            return u'\t';
        case 'v':
            return u'\v';
        default:
            return -1;
    }
}

// "\x" and one to four hex digits; pos is just after the 'x'.
char16_t ReadHexEscape(std::string_view text, std::size_t& pos) {
    unsigned value = 0;
    int digits = 0;
    while (digits < 4 && pos < text.size() && IsHexDigit(text[pos])) {
        value = value * 16 + static_cast<unsigned>(HexValue(text[pos++]));
        ++digits;
    }
    if (digits == 0) throw RegistryTextError("a \\x escape without hex digits");
    return static_cast<char16_t>(value);
}

// "\" and one to three octal digits; pos is at the first digit.
char16_t ReadOctalEscape(std::string_view text, std::size_t& pos) {
    unsigned value = 0;
    for (int digits = 0; digits < 3 && pos < text.size() && text[pos] >= '0' && text[pos] <= '7';
         ++digits) {
        value = value * 8 + static_cast<unsigned>(text[pos++] - '0');
    }
    return static_cast<char16_t>(value);
}

// One escape; pos is at the character after the backslash and moves past the
// escape.
void ReadEscape(std::string_view text, std::size_t& pos, std::u16string& out) {
    const char e = text[pos];
    if (const int letter = LetterEscape(e); letter >= 0) {
        out.push_back(static_cast<char16_t>(letter));
        ++pos;
    } else if (e == 'x') {
        ++pos;
        out.push_back(ReadHexEscape(text, pos));
    } else if (e >= '0' && e <= '7') {
        out.push_back(ReadOctalEscape(text, pos));
    } else if (e == '\0') {
        throw RegistryTextError("a zero byte in the text");
    } else if (static_cast<unsigned char>(e) >= 0x80) {
        // Any other escaped character stands for itself (\\ \" \[ \]), also
        // one written in UTF-8.
        AppendCodePoint(DecodeUtf8(text, pos), out);
    } else {
        out.push_back(static_cast<char16_t>(e));
        ++pos;
    }
}

}  // namespace

std::size_t ReadEscaped(std::string_view text, std::size_t pos, char end, std::u16string& out) {
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == end) return pos + 1;
        if (c == '\0') throw RegistryTextError("a zero byte in the text");
        if (static_cast<unsigned char>(c) >= 0x80) {
            AppendCodePoint(DecodeUtf8(text, pos), out);
        } else if (c != '\\') {
            out.push_back(static_cast<char16_t>(c));
            ++pos;
        } else if (++pos >= text.size()) {
            throw RegistryTextError("a backslash at the end of the line");
        } else {
            ReadEscape(text, pos, out);
        }
    }
    throw RegistryTextError(end == ']' ? "a key name without its closing bracket"
                                       : "an unterminated string");
}

std::size_t WriteEscaped(std::u16string_view s, std::string_view specials, bool dropFinalZero,
                         std::string& out) {
    static const char kEscapes[33] = ".......abtnvfr.............e....";
    const std::size_t start = out.size();
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        const bool hasNext = i + 1 < s.size();
        if (c > 127) {
            const bool padded =
                hasNext && s[i + 1] < 128 && IsHexDigit(static_cast<char>(s[i + 1]));
            AppendFormat(out, padded ? "\\x%04x" : "\\x%x", c);
            continue;
        }
        if (c < 32) {
            if (c == 0 && dropFinalZero && !hasNext) continue;
            if (kEscapes[c] != '.') {
                out.push_back('\\');
                out.push_back(kEscapes[c]);
            } else {
                const bool padded = hasNext && s[i + 1] >= u'0' && s[i + 1] <= u'7';
                AppendFormat(out, padded ? "\\%03o" : "\\%o", c);
            }
            continue;
        }
        const char ch = static_cast<char>(c);
        if (ch == '\\' || specials.find(ch) != std::string_view::npos) out.push_back('\\');
        out.push_back(ch);
    }
    return out.size() - start;
}

std::string FormatValueLine(std::u16string_view name, std::uint32_t type, std::string_view data) {
    std::string out;
    std::size_t count = 0;
    if (!name.empty()) {
        out.push_back('"');
        count = 1 + WriteEscaped(name, "\"", false, out);
        out += "\"=";
        count += 2;
    } else {
        out += "@=";
        count = 2;
    }
    const bool isString =
        type == win::REG_SZ || type == win::REG_EXPAND_SZ || type == win::REG_MULTI_SZ;
    if (isString && data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 1] == 0 &&
        data[data.size() - 2] == 0) {
        if (type != win::REG_SZ) AppendFormat(out, "str(%x):", type);
        out.push_back('"');
        WriteEscaped(BytesToUtf16(data), "\"", true, out);
        out += "\"\n";
        return out;
    }
    if (type == win::REG_DWORD && data.size() == 4) {
        std::uint32_t dw = 0;
        for (int i = 3; i >= 0; --i) dw = (dw << 8) | static_cast<unsigned char>(data[i]);
        AppendFormat(out, "dword:%08x\n", dw);
        return out;
    }
    const std::size_t before = out.size();
    if (type == win::REG_BINARY) {
        out += "hex:";
    } else {
        AppendFormat(out, "hex(%x):", type);
    }
    count += out.size() - before;
    for (std::size_t i = 0; i < data.size(); ++i) {
        AppendFormat(out, "%02x", static_cast<unsigned char>(data[i]));
        count += 2;
        if (i + 1 < data.size()) {
            out.push_back(',');
            if (++count > 76) {
                out += "\\\n  ";
                count = 2;
            }
        }
    }
    out.push_back('\n');
    return out;
}

char16_t FoldCase(char16_t c) {
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A: pairs of capital and small letters.
        const bool oddSmall = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
        const bool evenSmall = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if ((oddSmall && (c & 1)) || (evenSmall && !(c & 1))) return static_cast<char16_t>(c - 1);
        return c;
    }
    if (c == 0x192) return 0x191;
    if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return static_cast<char16_t>(c - 32);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 32);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
    return c;
}

void FoldCaseInPlace(std::u16string& s) {
    for (char16_t& c : s) c = FoldCase(c);
}

std::string Utf16ToBytes(std::u16string_view s) {
    std::string out;
    out.resize(s.size() * 2);
    for (std::size_t i = 0; i < s.size(); ++i) {
        out[2 * i] = static_cast<char>(s[i] & 0xFF);
        out[2 * i + 1] = static_cast<char>(s[i] >> 8);
    }
    return out;
}

std::u16string BytesToUtf16(std::string_view bytes) {
    std::u16string out;
    out.resize(bytes.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return out;
}

namespace registry_text_detail {

std::size_t ParseValueHead(std::string_view line, ParsedValue& value, int& kind) {
    std::size_t pos = 0;
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    if (pos < line.size() && line[pos] == '@') {
        ++pos;
    } else if (pos < line.size() && line[pos] == '"') {
        pos = ReadEscaped(line, pos + 1, '"', value.name);
    } else {
        throw RegistryTextError("a value line that starts with neither @ nor \"");
    }
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=') throw RegistryTextError("a value without =");
    ++pos;
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    const std::string_view rest = line.substr(pos);
    struct Prefix {
        std::string_view text;
        std::uint32_t type;
        int kind;
    };
    static constexpr Prefix kPrefixes[] = {
        {"\"", win::REG_SZ, kString},
        {"str:\"", win::REG_SZ, kString},
        {"str(2):\"", win::REG_EXPAND_SZ, kString},
        {"str(7):\"", win::REG_MULTI_SZ, kString},
        {"hex:", win::REG_BINARY, kHex},
        {"dword:", win::REG_DWORD, kDword},
    };
    for (const Prefix& prefix : kPrefixes) {
        if (rest.substr(0, prefix.text.size()) == prefix.text) {
            value.type = prefix.type;
            kind = prefix.kind;
            return pos + prefix.text.size();
        }
    }
    if (rest.substr(0, 4) == "hex(") {
        std::size_t p = pos + 4;
        std::uint64_t type = 0;
        const std::size_t digitsStart = p;
        while (p < line.size() && IsHexDigit(line[p]) && type <= 0xFFFFFFFFu) {
            type = type * 16 + static_cast<unsigned>(HexValue(line[p++]));
        }
        if (p == digitsStart || type > 0xFFFFFFFFu || p + 1 >= line.size() || line[p] != ')' ||
            line[p + 1] != ':') {
            throw RegistryTextError("a bad hex(type) of a value");
        }
        value.type = static_cast<std::uint32_t>(type);
        kind = kHex;
        return p + 2;
    }
    throw RegistryTextError("a value of an unknown kind");
}

std::size_t ParseHexBytes(std::string_view line, std::size_t pos, std::string& out, bool& more) {
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    while (pos < line.size() && IsHexDigit(line[pos])) {
        unsigned value = 0;
        while (pos < line.size() && IsHexDigit(line[pos])) {
            value = value * 16 + static_cast<unsigned>(HexValue(line[pos++]));
            if (value > 0xFF) throw RegistryTextError("a hex byte above ff");
        }
        out.push_back(static_cast<char>(value));
        while (pos < line.size() && IsSpace(line[pos])) ++pos;
        if (pos < line.size() && line[pos] == ',') ++pos;
        while (pos < line.size() && IsSpace(line[pos])) ++pos;
    }
    if (pos == line.size()) {
        more = false;
    } else if (line[pos] == '\\') {
        more = true;  // the data goes on in the next line
    } else {
        throw RegistryTextError("unexpected text in hex data");
    }
    return pos;
}

std::uint32_t ParseDword(std::string_view line, std::size_t pos) {
    std::uint32_t value = 0;
    int digits = 0;
    while (pos < line.size() && IsHexDigit(line[pos]) && digits < 8) {
        value = value * 16 + static_cast<unsigned>(HexValue(line[pos++]));
        ++digits;
    }
    if (digits == 0) throw RegistryTextError("a dword value without hex digits");
    return value;
}

}  // namespace registry_text_detail
