#include "platform/Exceptions.h"

#include <cstdio>

#include "platform/SystemMessages.h"

EInOutError::EInOutError(std::uint32_t errorCode)
    : Exception("I/O error " + std::to_string(errorCode)), errorCode_(errorCode) {}

EFOpenError::EFOpenError(const std::string& fileName)
    : EStreamError(Format("Cannot open file %s", {fileName})) {}

EFCreateError::EFCreateError(const std::string& fileName)
    : EStreamError(Format("Cannot create file %s", {fileName})) {}

EReadError::EReadError() : EStreamError("Stream read error") {}

EWriteError::EWriteError() : EStreamError("Stream write error") {}

EWriteError::EWriteError(std::uint32_t errorCode, const std::string& fileName)
    : EStreamError("Stream write error\n" +
                   (errorCode != 0 ? SysErrorMessage(errorCode) + " " : std::string()) + "(" +
                   fileName + ")"),
      errorCode_(errorCode) {}

static std::string OleErrorText(std::int32_t errorCode) {
    char text[32];
    std::snprintf(text, sizeof text, "OLE error %.8x", static_cast<unsigned>(errorCode));
    return text;
}

EOleSysError::EOleSysError(std::int32_t errorCode)
    : Exception(OleErrorText(errorCode)), errorCode_(errorCode) {}

EIntfCastError::EIntfCastError() : Exception("Interface not supported") {}

std::string Format(const std::string& pattern, std::initializer_list<std::string> arguments) {
    std::string result;
    auto next = arguments.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size()) {
            const char kind = pattern[i + 1];
            if (kind == '%') {
                result += '%';
                ++i;
                continue;
            }
            if ((kind == 's' || kind == 'd') && next != arguments.end()) {
                result += *next++;
                ++i;
                continue;
            }
        }
        result += c;
    }
    return result;
}
