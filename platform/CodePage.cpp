#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace {

// One iconv conversion of a whole buffer. Returns false when the input holds a
// sequence that the target cannot take; the caller decides what that means.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Run(const char* input, std::size_t size, std::string& output) {
        output.clear();
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return false;
        std::vector<char> buffer(size * 4 + 16);
        char* in = const_cast<char*>(input);
        std::size_t inLeft = size;
        char* out = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t result = iconv(cd_, &in, &inLeft, &out, &outLeft);
        if (result == static_cast<std::size_t>(-1) || inLeft != 0) return false;
        output.assign(buffer.data(), buffer.size() - outLeft);
        return true;
    }

  private:
    iconv_t cd_;
};

bool IsUndefinedInWindows1252(unsigned char c) {
    return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

std::string BytesOf(const std::u16string& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

std::u16string UnitsOf(const std::string& bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return text;
}

}  // namespace

std::u16string AnsiToUtf16(const std::string& ansi) {
    std::u16string result;
    result.reserve(ansi.size());
    Converter toUtf16("UTF-16LE", "WINDOWS-1252");
    std::string encoded;
    for (unsigned char c : ansi) {
        if (c < 0x80 || IsUndefinedInWindows1252(c)) {
            result += static_cast<char16_t>(c);
        } else {
            const char byte = static_cast<char>(c);
            toUtf16.Run(&byte, 1, encoded);
            result += encoded.size() == 2 ? UnitsOf(encoded) : std::u16string(1, u'\uFFFD');
        }
    }
    return result;
}

std::optional<std::string> Utf16ToAnsi(const std::u16string& utf16) {
    std::string result;
    result.reserve(utf16.size());
    Converter toAnsi("WINDOWS-1252", "UTF-16LE");
    std::string encoded;
    for (char16_t unit : utf16) {
        if (unit < 0x80 ||
            (unit < 0x100 && IsUndefinedInWindows1252(static_cast<unsigned char>(unit)))) {
            result += static_cast<char>(unit);
            continue;
        }
        const std::string bytes = BytesOf(std::u16string(1, unit));
        if (!toAnsi.Run(bytes.data(), bytes.size(), encoded) || encoded.size() != 1)
            return std::nullopt;
        result += encoded;
    }
    return result;
}

std::string Utf16ToUtf8(const std::u16string& utf16) {
    // iconv refuses lone surrogates: replace them first.
    std::u16string clean = utf16;
    for (std::size_t i = 0; i < clean.size(); ++i) {
        const char16_t c = clean[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < clean.size() && clean[i + 1] >= 0xDC00 && clean[i + 1] <= 0xDFFF) {
            ++i;
        } else if (high || low) {
            clean[i] = u'\uFFFD';
        }
    }
    Converter toUtf8("UTF-8", "UTF-16LE");
    const std::string bytes = BytesOf(clean);
    std::string result;
    toUtf8.Run(bytes.data(), bytes.size(), result);
    return result;
}

std::string AnsiToUtf8(const std::string& ansi) { return Utf16ToUtf8(AnsiToUtf16(ansi)); }

std::optional<std::string> Utf8ToAnsi(const std::string& utf8) {
    Converter check("UTF-16LE", "UTF-8");
    std::string encoded;
    if (!check.Run(utf8.data(), utf8.size(), encoded)) return std::nullopt;
    return Utf16ToAnsi(UnitsOf(encoded));
}

std::string Utf8ToAnsiForMessage(const std::string& utf8) {
    if (const auto ansi = Utf8ToAnsi(utf8)) return *ansi;
    std::string ascii;
    for (const char c : utf8) ascii += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    return ascii;
}
