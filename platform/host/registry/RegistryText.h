// The text of Wine's registry files: the escapes of names and data, and the
// lines of values, exactly as Wine writes and reads them. Names and string data
// are UTF-16 (what Wine keeps); the file is 8-bit text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/Exceptions.h"

// A line that cannot be read; the parser adds the file and the line number.
class RegistryTextError : public Exception {
  public:
    using Exception::Exception;
};

// Reads an escaped string from text[pos] up to the first unescaped `end`
// character, appending its UTF-16 code units to out (raw UTF-8 is accepted,
// invalid bytes become U+FFFD). Returns the position just after `end`.
// Throws RegistryTextError for a bad escape or a missing `end`.
std::size_t ReadEscaped(std::string_view text, std::size_t pos, char end, std::u16string& out);

// Appends s escaped as Wine writes it: backslash and the characters of
// `specials` get a backslash, control characters their C escape or octal,
// characters above 127 \x and their UTF-16 code unit. A zero as the very last
// unit is left out when dropFinalZero is set (string data). Returns the number
// of characters appended.
std::size_t WriteEscaped(std::u16string_view s, std::string_view specials, bool dropFinalZero,
                         std::string& out);

// The line(s) of one value, "name"=... or @=..., ending in a newline, as Wine
// writes them. String types hold UTF-16LE data.
std::string FormatValueLine(std::u16string_view name, std::uint32_t type, std::string_view data);

// Parses the value whose first line is `line` (starting at '@' or '"'). A line
// ending in a backslash continues on the next: nextLine() returns it, or
// throws when there is none. The data of string types is UTF-16LE with the
// terminating zero.
struct ParsedValue {
    std::u16string name;
    std::uint32_t type = 0;
    std::string data;
};
template <typename NextLine>
void ParseValueLine(std::string_view line, NextLine&& nextLine, ParsedValue& value);

// Case-insensitive comparison of names: the upper-case form of each unit.
char16_t FoldCase(char16_t c);
void FoldCaseInPlace(std::u16string& s);

// UTF-16 units as little-endian bytes and back.
std::string Utf16ToBytes(std::u16string_view s);
std::u16string BytesToUtf16(std::string_view bytes);  // an odd last byte is dropped

namespace registry_text_detail {
std::size_t ParseValueHead(std::string_view line, ParsedValue& value, int& kind);
std::size_t ParseHexBytes(std::string_view line, std::size_t pos, std::string& out, bool& more);
std::uint32_t ParseDword(std::string_view line, std::size_t pos);
enum Kind { kString = 0, kDword = 1, kHex = 2 };
}  // namespace registry_text_detail

template <typename NextLine>
void ParseValueLine(std::string_view line, NextLine&& nextLine, ParsedValue& value) {
    using namespace registry_text_detail;
    value.name.clear();
    value.data.clear();
    int kind = kString;
    std::size_t pos = ParseValueHead(line, value, kind);
    if (kind == kString) {
        // (Kept between calls: reading a large file allocates nothing per value.)
        static thread_local std::u16string text;
        text.clear();
        ReadEscaped(line, pos, '"', text);
        text.push_back(u'\0');
        value.data.resize(text.size() * 2);
        for (std::size_t i = 0; i < text.size(); ++i) {
            value.data[2 * i] = static_cast<char>(text[i] & 0xFF);
            value.data[2 * i + 1] = static_cast<char>(text[i] >> 8);
        }
    } else if (kind == kDword) {
        const std::uint32_t dw = ParseDword(line, pos);
        for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<char>((dw >> (8 * i)) & 0xFF));
    } else {
        bool more = false;
        ParseHexBytes(line, pos, value.data, more);
        while (more) {
            std::string_view next = nextLine();
            ParseHexBytes(next, 0, value.data, more);
        }
    }
}
