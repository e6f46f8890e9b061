#include "platform/host/machine/DesktopEntryText.h"

#include <cstring>

namespace desktopentry {
namespace {

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

// The characters that an Exec argument may hold only inside quotes.
bool IsReserved(char c) {
    return c != '\0' && std::strchr(" \t\n\"'\\><~|&;$*?#()`", c) != nullptr;
}

std::optional<std::string> ExecArgument(const std::string& argument) {
    bool quote = argument.empty();
    for (const char c : argument) {
        if (IsControl(c) && c != '\t') return std::nullopt;
        quote = quote || IsReserved(c);
    }
    std::string out;
    if (quote) out += '"';
    for (const char c : argument) {
        if (quote && std::strchr("\"`$\\", c) != nullptr) out += '\\';
        out += c;
        if (c == '%') out += '%';
    }
    if (quote) out += '"';
    return out;
}

}  // namespace

std::optional<std::string> StringValue(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case ' ':
                out += i == 0 ? "\\s" : " ";
                break;
            default:
                if (IsControl(c)) return std::nullopt;
                out += c;
        }
    }
    return out;
}

std::optional<std::string> ExecValue(const std::vector<std::string>& arguments,
                                     const std::string& fieldCode) {
    std::string line;
    for (const std::string& argument : arguments) {
        const std::optional<std::string> quoted = ExecArgument(argument);
        if (!quoted) return std::nullopt;
        if (!line.empty()) line += ' ';
        line += *quoted;
    }
    if (!fieldCode.empty()) line += ' ' + fieldCode;
    return StringValue(line);
}

std::string UnescapeStringValue(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                out += value[i];
        }
    }
    return out;
}

std::vector<std::string> ExecArguments(const std::string& value) {
    const std::string line = UnescapeStringValue(value);
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && i + 1 < line.size() &&
            (!quoted || std::strchr("\"`$\\", line[i + 1]) != nullptr)) {
            current += line[++i];
            inArgument = true;
        } else if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if (c == '%' && i + 1 < line.size() && line[i + 1] == '%') {
            current += c;
            ++i;
            inArgument = true;
        } else if ((c == ' ' || c == '\t' || c == '\n') && !quoted) {
            if (inArgument) arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) arguments.push_back(current);
    return arguments;
}

std::string XmlText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace desktopentry
