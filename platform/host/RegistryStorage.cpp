#include "platform/host/RegistryStorage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/WinTypes.h"

namespace {

// Closes a descriptor on every path.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    // Closes now, reporting the error of the close.
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }

  private:
    int fd_;
};

int WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

}  // namespace

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
    Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
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

int CheckReplaceable(const std::filesystem::path& file) {
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
    return 0;
}

int ReplaceRegistryFile(const std::filesystem::path& file, const std::string& content) {
    if (const int error = CheckReplaceable(file)) return error;
    struct stat old {};
    const bool exists = ::stat(file.c_str(), &old) == 0;
    std::string temporary = file.string() + ".new-XXXXXX";  // see RemoveUnfinishedCopies
    Descriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.Get() < 0) return errno;
    int error = 0;
    const mode_t mode = exists ? (old.st_mode & 07777) : 0644;
    if (::fchmod(fd.Get(), mode) != 0) error = errno;
    if (exists && error == 0 && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
        // Keep the owner when the system lets us (when we run as root).
        if (::fchown(fd.Get(), old.st_uid, old.st_gid) != 0) { /* stays ours */
        }
    }
    if (error == 0) error = WriteAll(fd.Get(), content.data(), content.size());
    if (error == 0 && ::fsync(fd.Get()) != 0) error = errno;
    const int closeError = fd.Close();
    if (error == 0) error = closeError;
    if (error == 0 && ::rename(temporary.c_str(), file.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return error;
    }
    // The rename itself reaches the disk with the folder.
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
    return 0;
}

void RemoveUnfinishedCopies(const std::filesystem::path& file) {
    const std::string prefix = file.filename().string() + ".new-";
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) {
            std::filesystem::remove(entry.path(), error);
        }
    }
}

std::uint32_t RegistryErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return win::ERROR_SUCCESS;
        case EACCES:
        case EPERM:
        case EROFS:
            return win::ERROR_ACCESS_DENIED;
        case ENOSPC:
        case EDQUOT:
            return win::ERROR_DISK_FULL;
        case ENOENT:
        case ENOTDIR:
            return win::ERROR_PATH_NOT_FOUND;
        case ENOMEM:
            return win::ERROR_NOT_ENOUGH_MEMORY;
        case EMFILE:
        case ENFILE:
            return win::ERROR_TOO_MANY_OPEN_FILES;
        default:
            return win::ERROR_CANTWRITE;
    }
}
