#include "platform/host/registry/RegistryStorage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/host/files/HostErrors.h"
#include "platform/host/files/PosixFile.h"

using posix::FileDescriptor;

RegistryFileStamp StampOf(const std::filesystem::path& file) {
    struct stat st {};
    RegistryFileStamp stamp;
    if (::stat(file.c_str(), &st) != 0) return stamp;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.modifiedNs =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return stamp;
}

int ReadRegistryFile(const std::filesystem::path& file, std::string& content) {
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return errno;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return errno;
    content.clear();
    content.reserve(static_cast<std::size_t>(st.st_size) + 1);
    std::vector<char> buffer(1 << 20);
    while (true) {
        const ssize_t got = ::read(fd.Get(), buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) break;
        content.append(buffer.data(), static_cast<std::size_t>(got));
    }
    return 0;
}

std::filesystem::path WrittenFile(std::filesystem::path file) {
    // Followed link by link, as the system follows them (at most 40).
    std::error_code error;
    for (int links = 0; links < 40 && std::filesystem::is_symlink(file, error); ++links) {
        const std::filesystem::path target = std::filesystem::read_symlink(file, error);
        if (error) break;
        file = target.is_absolute() ? target : file.parent_path() / target;
    }
    return file;
}

int CheckReplaceable(const std::filesystem::path& linkOrFile) {
    const std::filesystem::path file = WrittenFile(linkOrFile);
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0) {
        // A read-only file stays read-only, also for a user whom the folder
        // would let replace it.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
            ::access(file.c_str(), W_OK) != 0) {
            return EACCES;
        }
    }
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return errno;
    // A real new copy, as the replacement makes it: what the permissions do not
    // tell (a read-only mount, a full disk of inodes) shows here. Named as the
    // copies are, so that a probe cut short is cleaned up with them.
    std::string probe = file.string() + ".new-XXXXXX";
    FileDescriptor fd(::mkostemp(probe.data(), O_CLOEXEC));
    if (!fd.IsOpen()) return errno;
    // A probe that stays is an unfinished copy by its name, removed with them.
    ::unlink(probe.c_str());
    return 0;
}

int ReplaceRegistryFile(const std::filesystem::path& file, const std::string& content) {
    if (const int error = CheckReplaceable(file)) return error;
    // its new copies: see RemoveUnfinishedCopies
    return posix::ReplaceFile(WrittenFile(file), content);
}

void RemoveUnfinishedCopies(const std::filesystem::path& linkOrFile) {
    const std::filesystem::path file = WrittenFile(linkOrFile);
    const std::string prefix = file.filename().string() + ".new-";
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    std::error_code error;
    std::filesystem::directory_iterator entry(folder, error), end;
    for (; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) {
            // A copy that cannot go is tried again by the next save.
            std::error_code left;
            std::filesystem::remove(entry->path(), left);
        }
    }
}

std::uint32_t RegistryErrorFromErrno(int error) {
    // The host's own table; a failure Windows has no closer code for is a
    // registry file that could not be written.
    const std::uint32_t code = WinErrorFromErrno(error, false);
    return code == win::ERROR_GEN_FAILURE ? win::ERROR_CANTWRITE : code;
}
