#include "platform/DiagnosticLog.h"

#include <cstdio>

#include "platform/CodePage.h"
#include "platform/Exceptions.h"
#include "platform/SystemMessages.h"

namespace diag {

namespace detail {
ILog* installed = nullptr;

void AppendAnsi(std::string& line, const std::string& ansi) {
    // ASCII needs no conversion, and nearly every line is ASCII.
    for (const char c : ansi) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            line += AnsiToUtf8(ansi);
            return;
        }
    }
    line += ansi;
}

void AppendAnsi(std::string& line, const char* ansi) { AppendAnsi(line, std::string(ansi)); }
}  // namespace detail

ILog* Install(ILog* log) {
    ILog* previous = detail::installed;
    detail::installed = log;
    return previous;
}

namespace {

// The error's text on one line.
std::string OneLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        if (c == '\r') continue;
        line += c == '\n' ? std::string(" / ") : std::string(1, c);
    }
    return line;
}

}  // namespace

void SystemError(const std::string& what, std::uint32_t errorCode) {
    if (!On()) return;
    Note("error: ", what, ": system error ", errorCode, " (", SysErrorMessage(errorCode), ")");
}

void Failure(const std::exception& error, const char* where) {
    if (!On()) return;
    const auto* own = dynamic_cast<const Exception*>(&error);
    const std::string kind = own != nullptr ? own->ClassName() : "std::exception";
    std::string code;
    if (const auto* io = dynamic_cast<const EInOutError*>(&error))
        code = "; system error " + std::to_string(io->ErrorCode()) + " (" +
               SysErrorMessage(io->ErrorCode()) + ")";
    else if (const auto* write = dynamic_cast<const EWriteError*>(&error);
             write != nullptr && write->ErrorCode() != 0)
        code = "; system error " + std::to_string(write->ErrorCode()) + " (" +
               SysErrorMessage(write->ErrorCode()) + ")";
    else if (const auto* ole = dynamic_cast<const EOleSysError*>(&error)) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%.8x", static_cast<unsigned>(ole->ErrorCode()));
        code = std::string("; OLE error ") + hex;
    }
    Note("error in ", where, ": ", kind, ": ", OneLine(error.what()), code);
}

Stage::Stage(const char* name) : name_(name), start_(std::chrono::steady_clock::now()) {
    Note("stage ", name_, ": started");
}

Stage::~Stage() {
    if (!On()) return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    Note("stage ", name_, std::uncaught_exceptions() > 0 ? ": ended by an error after " : ": took ",
         text, " s");
}

}  // namespace diag
