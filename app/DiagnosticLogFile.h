// The diagnostic log of --log FILE: the file that platform/DiagnosticLog.h
// records into, and the facts of the start that every log begins with.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/DiagnosticLog.h"

// Appends to a file, UTF-8, one line an event: "2026-12-09 17:08:02.123 +0000
// text". Each line is written with one system call as it comes, so that a run
// that is killed leaves every line up to that point whole.
class DiagnosticLogFile : public diag::ILog {
  public:
    // Opens (or creates) the file for appending; nothing, with the reason in
    // error, when it cannot be opened.
    static std::unique_ptr<DiagnosticLogFile> Open(const std::string& path, std::string& error);
    ~DiagnosticLogFile() override;
    DiagnosticLogFile(const DiagnosticLogFile&) = delete;
    DiagnosticLogFile& operator=(const DiagnosticLogFile&) = delete;

    void Line(const std::string& utf8) override;

  private:
    explicit DiagnosticLogFile(int fd) : fd_(fd) {}
    int fd_;
};

// The log of this run, opened by --log and installed until the program ends;
// "" when it is open, else the sentence that refuses the run (exit code 3).
std::string OpenRunLog(const std::string& path);

// Records the start: Setup's version, how it was started, the display.
void NoteStart(int argc, char** argv);
// Records the prefix the run works on: its folder, whether it was there
// before Setup opened it and its kind, and the installed Wine's version.
void NotePrefix(const std::filesystem::path& folder, bool existed);
