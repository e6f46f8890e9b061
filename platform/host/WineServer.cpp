#include "platform/host/WineServer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

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

}  // namespace

std::vector<std::filesystem::path> WineServerFolders(const std::filesystem::path& prefix) {
    struct stat st {};
    std::vector<std::filesystem::path> folders;
    if (::stat(prefix.c_str(), &st) != 0) return folders;
    char serverName[64];
    std::snprintf(serverName, sizeof serverName, "server-%llx-%llx",
                  static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
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
    if (!acquired_) {
        for (int fd : fds_) ::close(fd);
        fds_.clear();
    }
}

WineServerLock::~WineServerLock() {
    // Closing the descriptors releases the locks.
    for (int fd : fds_) ::close(fd);
}
