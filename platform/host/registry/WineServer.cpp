#include "platform/host/registry/WineServer.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>

namespace {

// The name of the temporary folder that Debian's Wine keeps in PREFIX/wineserver.
std::string DebianServerRoot(const std::filesystem::path& prefix) {
    std::ifstream in(prefix / "wineserver", std::ios::binary);
    if (!in) return {};
    std::string name;
    std::getline(in, name, '\0');
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r' || name.back() == ' ')) {
        name.pop_back();
    }
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        return {};
    }
    return name;
}

bool MakeFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0700) == 0) return true;
    if (errno != EEXIST) return false;
    struct stat st {};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

std::string ServerFolderName(const struct stat& st) {
    char name[64];
    std::snprintf(name, sizeof name, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    return name;
}

// The whole content of a small file of /proc; nothing when it cannot be read
// (the process may end while it is read, which streams would throw for).
std::optional<std::string> ReadWhole(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string content;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) break;
        content.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return content;
}

// The value of NAME in a NUL-separated environment block.
std::optional<std::string> EnvironmentValue(const std::string& block, const std::string& name) {
    std::size_t at = 0;
    while (at < block.size()) {
        std::size_t end = block.find('\0', at);
        if (end == std::string::npos) end = block.size();
        if (block.compare(at, name.size() + 1, name + "=") == 0)
            return block.substr(at + name.size() + 1, end - at - name.size() - 1);
        at = end + 1;
    }
    return std::nullopt;
}

// The prefix a wineserver with this environment uses, as Wine finds it;
// empty when it cannot tell.
std::filesystem::path PrefixOfEnvironment(const std::string& block, uid_t uid) {
    if (const auto prefix = EnvironmentValue(block, "WINEPREFIX"); prefix && !prefix->empty())
        return prefix->front() == '/' ? std::filesystem::path(*prefix) : std::filesystem::path();
    std::string home;
    if (const auto value = EnvironmentValue(block, "HOME"); value && !value->empty()) {
        home = *value;
    } else if (const struct passwd* entry = ::getpwuid(uid)) {
        home = entry->pw_dir;
    }
    if (home.empty() || home.front() != '/') return {};
    return std::filesystem::path(home) / ".wine";
}

// Whether the process of a /proc folder still runs: not ended, not a zombie
// (state Z, or X, after "(comm)" in its stat).
bool Alive(const std::filesystem::path& process) {
    const auto stat = ReadWhole(process / "stat");
    if (!stat) return false;
    const std::size_t close = stat->rfind(')');
    if (close == std::string::npos || close + 2 >= stat->size()) return true;
    const char state = (*stat)[close + 2];
    return state != 'Z' && state != 'X' && state != 'x';
}

enum class Verdict { Elsewhere, OnPrefix, Unknown };

// Whether the wineserver process described by the folder PROCESS runs on the
// prefix whose folder has the status PREFIX.
Verdict ServerPrefix(const std::filesystem::path& process, const struct stat& prefix, uid_t uid) {
    if (const auto environment = ReadWhole(process / "environ");
        environment && !environment->empty()) {
        const std::filesystem::path folder = PrefixOfEnvironment(*environment, uid);
        struct stat st {};
        if (!folder.empty()) {
            if (::stat(folder.c_str(), &st) != 0) return Verdict::Elsewhere;
            return st.st_dev == prefix.st_dev && st.st_ino == prefix.st_ino ? Verdict::OnPrefix
                                                                            : Verdict::Elsewhere;
        }
    }
    // wineserver works in its server folder, named after the prefix folder.
    std::error_code error;
    const std::filesystem::path cwd = std::filesystem::read_symlink(process / "cwd", error);
    if (!error && cwd.filename().string().rfind("server-", 0) == 0)
        return cwd.filename() == ServerFolderName(prefix) ? Verdict::OnPrefix : Verdict::Elsewhere;
    return Verdict::Unknown;
}

}  // namespace

pid_t WineServerProcessOn(const std::filesystem::path& prefix, const std::filesystem::path& proc) {
    struct stat prefixStatus {};
    if (::stat(prefix.c_str(), &prefixStatus) != 0) return 0;
    const uid_t uid = ::getuid();
    std::error_code error;
    for (std::filesystem::directory_iterator it(proc, error), end; !error && it != end;
         it.increment(error)) {
        const std::filesystem::directory_entry& entry = *it;
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        if (pid == ::getpid()) continue;
        struct stat owner {};
        if (::stat(entry.path().c_str(), &owner) != 0 || owner.st_uid != uid) continue;
        // Debian's wineserver is a script that starts wineserver64 or wineserver32.
        const auto comm = ReadWhole(entry.path() / "comm");
        if (!comm || comm->rfind("wineserver", 0) != 0) continue;
        // A process that is ending gives up its environment and folder before it
        // goes: what cannot be read is looked at again, briefly, before it counts.
        Verdict verdict = Verdict::Unknown;
        for (int look = 0; look < 5 && verdict == Verdict::Unknown; ++look) {
            if (look > 0) ::usleep(20000);
            if (!Alive(entry.path())) {
                verdict = Verdict::Elsewhere;
                break;
            }
            verdict = ServerPrefix(entry.path(), prefixStatus, uid);
        }
        if (verdict != Verdict::Elsewhere) return pid;
    }
    return 0;
}

std::vector<std::filesystem::path> WineServerFolders(const std::filesystem::path& prefix) {
    struct stat st {};
    std::vector<std::filesystem::path> folders;
    if (::stat(prefix.c_str(), &st) != 0) return folders;
    const std::string serverName = ServerFolderName(st);
    const auto add = [&](const std::filesystem::path& folder) {
        for (const auto& known : folders) {
            if (known == folder) return;
        }
        folders.push_back(folder);
    };
    const std::string debian = DebianServerRoot(prefix);
    if (!debian.empty()) {
        const char* tmpdir = std::getenv("TMPDIR");
        if (tmpdir != nullptr && *tmpdir == '/')
            add(std::filesystem::path(tmpdir) / debian / serverName);
        add(std::filesystem::path("/tmp") / debian / serverName);
    }
    add(std::filesystem::path("/tmp") / (".wine-" + std::to_string(::getuid())) / serverName);
    return folders;
}

WineServerLock::WineServerLock(const std::filesystem::path& prefix) {
    const std::vector<std::filesystem::path> folders = WineServerFolders(prefix);
    acquired_ = true;
    for (std::size_t i = 0; i < folders.size() && acquired_; ++i) {
        const std::filesystem::path lockFile = folders[i] / "lock";
        int fd = ::open(lockFile.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT && i == 0) {
            // The folder where a wineserver started now would look: made as
            // wineserver makes it, so that it finds our lock.
            if (MakeFolder(folders[i].parent_path()) && MakeFolder(folders[i])) {
                fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            }
        }
        if (fd < 0) continue;  // no wineserver has used this folder
        fds_.push_back(fd);
        struct flock probe {};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        if (::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) {
            acquired_ = false;
            holder_ = probe.l_pid;
            break;
        }
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        if (::fcntl(fd, F_SETLK, &lock) != 0 && (errno == EACCES || errno == EAGAIN)) {
            acquired_ = false;  // taken between the test and now
        }
    }
    if (acquired_) {
        // A wineserver started with another TMPDIR keeps its lock where we do not look.
        if (const pid_t server = WineServerProcessOn(prefix)) {
            acquired_ = false;
            holder_ = server;
        }
    }
    if (!acquired_) {
        for (int fd : fds_) ::close(fd);
        fds_.clear();
    }
}

WineServerLock::~WineServerLock() {
    // Closing the descriptors releases the locks.
    for (int fd : fds_) ::close(fd);
}
