#include "platform/host/files/PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace posix {

void FileDescriptor::Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);  // nothing was written through it that a failure would lose
    fd_ = fd;
}

int FileDescriptor::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

int FileDescriptor::Close() {
    if (fd_ < 0) return 0;
    const int result = ::close(Release());
    return result == 0 ? 0 : errno;
}

int WriteAll(int fd, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        if (written == 0) return EIO;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

int SyncFolder(const std::filesystem::path& folder) {
    FileDescriptor fd(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.IsOpen() || ::fsync(fd.Get()) != 0) return errno;
    return fd.Close();
}

int ReplaceFile(const std::filesystem::path& file, std::string_view content, mode_t newFileMode) {
    return ReplaceFileWith(
        file, [content](int fd) { return WriteAll(fd, content.data(), content.size()); },
        newFileMode);
}

int ReplaceFileWith(const std::filesystem::path& file, const std::function<int(int fd)>& write,
                    mode_t newFileMode) {
    struct stat old {};
    const bool exists = ::stat(file.c_str(), &old) == 0;
    std::string temporary = file.string() + ".new-XXXXXX";
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.IsOpen()) return errno;
    int error = 0;
    if (::fchmod(fd.Get(), exists ? (old.st_mode & 07777) : newFileMode) != 0) error = errno;
    if (exists && error == 0 && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
        // The owner is kept where the system lets us (as root); otherwise the
        // new file is ours, as any program's rewrite would be.
        [[maybe_unused]] const int kept = ::fchown(fd.Get(), old.st_uid, old.st_gid);
    }
    if (error == 0) error = write(fd.Get());
    if (error == 0 && ::fsync(fd.Get()) != 0) error = errno;
    const int closeError = fd.Close();
    if (error == 0) error = closeError;
    if (error == 0 && ::rename(temporary.c_str(), file.c_str()) != 0) error = errno;
    if (error != 0) {
        // The error that stopped the write is the one to report; a new copy
        // that stays is named as the unfinished ones, which the next write of
        // a registry file removes (RemoveUnfinishedCopies).
        ::unlink(temporary.c_str());
        return error;
    }
    // The rename is done; a folder that cannot be flushed leaves it to the
    // system's own write-back, which is all a caller could do about it either.
    [[maybe_unused]] const int synced = SyncFolder(file.parent_path());
    return 0;
}

}  // namespace posix
