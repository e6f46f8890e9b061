#include "app/DiagnosticLogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>

#include "dialogs/Unit_Constants.h"

std::unique_ptr<DiagnosticLogFile> DiagnosticLogFile::Open(const std::string& path,
                                                           std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "it is not a plain file";
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<DiagnosticLogFile>(new DiagnosticLogFile(fd));
}

DiagnosticLogFile::~DiagnosticLogFile() { ::close(fd_); }

namespace {

// "2026-12-09 17:08:02.123 +0000 ", the local time as the machine keeps it.
// The part up to the seconds and the zone are made once a second.
void AppendTimeStamp(std::string& line) {
    static std::mutex mutex;
    static std::time_t second = -1;
    static char stamp[40];
    static char zone[8];
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const long millis = now.tv_nsec / 1000000;
    const char fraction[] = {'.', static_cast<char>('0' + millis / 100),
                             static_cast<char>('0' + millis / 10 % 10),
                             static_cast<char>('0' + millis % 10), ' '};
    const std::lock_guard<std::mutex> lock(mutex);
    if (now.tv_sec != second) {
        second = now.tv_sec;
        std::tm local{};
        ::localtime_r(&now.tv_sec, &local);
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
        std::strftime(zone, sizeof zone, "%z", &local);
    }
    line += stamp;
    line.append(fraction, sizeof fraction);
    line += zone;
    line += ' ';
}

}  // namespace

void DiagnosticLogFile::Line(const std::string& utf8) {
    thread_local std::string line;  // its memory is kept from line to line
    line.clear();
    AppendTimeStamp(line);
    const std::size_t text = line.size();
    line += utf8;
    // One line, always.
    for (std::size_t at = line.find_first_of("\r\n", text); at != std::string::npos;
         at = line.find_first_of("\r\n", at + 1))
        line[at] = ' ';
    line += '\n';
    // One call for the whole line: O_APPEND puts it at the end in one piece.
    const char* at = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t written = ::write(fd_, at, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;  // a full disk: the log is a witness, not the run
        at += written;
        left -= static_cast<std::size_t>(written);
    }
}

std::string OpenRunLog(const std::string& path) {
    static std::unique_ptr<DiagnosticLogFile> log;
    std::string error;
    std::unique_ptr<DiagnosticLogFile> opened = DiagnosticLogFile::Open(path, error);
    if (!opened) return "the diagnostic log " + path + " cannot be opened: " + error;
    diag::Install(nullptr);
    log = std::move(opened);
    diag::Install(log.get());
    return {};
}

namespace {

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string("(not set)");
}

// The first line that a program prints, without its line end; "" when it
// cannot be started. The program's standard error is dropped.
std::string FirstLineOf(const char* command) {
    std::FILE* pipe = ::popen(command, "r");
    if (pipe == nullptr) return {};
    char buffer[256] = {};
    std::string line;
    if (std::fgets(buffer, sizeof buffer, pipe) != nullptr) line = buffer;
    ::pclose(pipe);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

// The kind that the prefix's system.reg declares ("#arch=win64"); "" when none.
std::string PrefixKind(const std::filesystem::path& folder) {
    std::ifstream file(folder / "system.reg");
    std::string line;
    for (int i = 0; i < 5 && std::getline(file, line); ++i)
        if (line.rfind("#arch=", 0) == 0) return line.substr(6);
    return {};
}

}  // namespace

void NoteStart(int argc, char** argv) {
    if (!diag::On()) return;
    std::string arguments;
    for (int i = 1; i < argc; ++i) arguments += std::string(i > 1 ? " " : "") + "'" + argv[i] + "'";
    diag::Note("---- Lingora Setup ", VersionText, ", process ", static_cast<long>(::getpid()),
               ", started with: ", diag::Host{arguments});
    diag::Note("display: DISPLAY=", diag::Host{Variable("DISPLAY")},
               " WAYLAND_DISPLAY=", diag::Host{Variable("WAYLAND_DISPLAY")},
               " QT_QPA_PLATFORM=", diag::Host{Variable("QT_QPA_PLATFORM")});
}

void NotePrefix(const std::filesystem::path& folder, bool existed) {
    if (!diag::On()) return;
    const std::string kind = PrefixKind(folder);
    diag::Note("prefix: ", diag::Host{folder.string()},
               existed ? ", an existing prefix" : ", a new one (none was there)", ", kind ",
               kind.empty() ? std::string("not yet known") : kind,
               ", WINEPREFIX=", diag::Host{Variable("WINEPREFIX")},
               " WINEARCH=", diag::Host{Variable("WINEARCH")});
    const std::string wine = FirstLineOf("wine --version 2>/dev/null");
    diag::Note("wine: ", diag::Host{wine.empty() ? std::string("not installed") : wine});
}
