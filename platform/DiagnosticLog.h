// The diagnostic log: an optional record of what a run did and why, for the
// people who look into an installation afterwards. It is not Install.log
// (the installation record, installlog/Unit_Logfile.h), and without a log
// installed nothing is recorded and nothing costs more than a test of a
// pointer.
//
// Every layer records its events with one call at the event:
//
//     diag::Note("wrote file ", target, " (", size, " bytes)");
//
// The pieces are joined into one line: texts of the core are Windows-1252
// (converted to UTF-8 here, through platform/CodePage.h), host texts such as
// Linux folders are marked with diag::Host and taken as they are (UTF-8);
// numbers are written in decimal. The installed log gives the line its time
// stamp and writes it out at once.
//
// Thread use: any thread; the log installed by app/ writes each line with one
// system call.
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <string>
#include <type_traits>

namespace diag {

// Where the lines go: a line of UTF-8 text without its line end.
class ILog {
  public:
    virtual ~ILog() = default;
    virtual void Line(const std::string& utf8) = 0;
};

// Makes log the one that records (nullptr: none, the default); returns the
// one it replaces.
ILog* Install(ILog* log);

namespace detail {
extern ILog* installed;
void AppendAnsi(std::string& line, const std::string& ansi);
void AppendAnsi(std::string& line, const char* ansi);
}  // namespace detail

// True when a log is installed.
inline bool On() { return detail::installed != nullptr; }

// A host text (UTF-8) among the pieces of a line.
struct Host {
    const std::string& text;
};

namespace detail {
inline void Append(std::string& line, const std::string& ansi) { AppendAnsi(line, ansi); }
inline void Append(std::string& line, const char* ansi) { AppendAnsi(line, ansi); }
inline void Append(std::string& line, const Host& host) { line += host.text; }
inline void Append(std::string& line, bool value) { line += value ? "yes" : "no"; }
template <typename Number, typename = std::enable_if_t<std::is_arithmetic_v<Number>>>
void Append(std::string& line, Number number) {
    line += std::to_string(number);
}
}  // namespace detail

// Records one line made of the pieces, when a log is installed.
template <typename... Pieces>
void Note(const Pieces&... pieces) {
    if (!On()) return;
    std::string line;
    (detail::Append(line, pieces), ...);
    detail::installed->Line(line);
}

// Records an error: its class, its text and, where it carries one, the
// system's error code with the system's sentence for it.
void Failure(const std::exception& error, const char* where);

// Records a system error code with the system's sentence for it.
void SystemError(const std::string& what, std::uint32_t errorCode);

// A stage of a run: recorded when it starts and, with the time it took, when
// it ends (also when it ends by an error).
class Stage {
  public:
    explicit Stage(const char* name);
    ~Stage();
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

  private:
    const char* name_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace diag
