#include "tools/PlainFileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/WinTypes.h"

namespace {

std::uint32_t WindowsError(int error) {
    switch (error) {
        case ENOENT:
            return win::ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return win::ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
            return win::ERROR_ACCESS_DENIED;
        case ENOSPC:
            return win::ERROR_DISK_FULL;
        default:
            return win::ERROR_READ_FAULT;
    }
}

class PlainStream : public IFileStream {
  public:
    explicit PlainStream(int fd) : fd_(fd) {}
    ~PlainStream() override { Close(); }
    std::size_t Read(void* buffer, std::size_t count) override {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t got = ::read(fd_, static_cast<char*>(buffer) + done, count - done);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) error_ = WindowsError(errno);
            if (got <= 0) break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }
    std::size_t Write(const void* buffer, std::size_t count) override {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t put = ::write(fd_, static_cast<const char*>(buffer) + done, count - done);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                error_ = WindowsError(put < 0 ? errno : ENOSPC);
                break;
            }
            done += static_cast<std::size_t>(put);
        }
        return done;
    }
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
        const int whence = origin == SeekOrigin::Begin     ? SEEK_SET
                           : origin == SeekOrigin::Current ? SEEK_CUR
                                                           : SEEK_END;
        const off_t at = ::lseek(fd_, offset, whence);
        if (at < 0) error_ = WindowsError(errno);
        return at;
    }
    std::int64_t Size() override {
        struct stat info {};
        if (::fstat(fd_, &info) != 0) return -1;
        return info.st_size;
    }
    std::int64_t Position() override { return ::lseek(fd_, 0, SEEK_CUR); }
    bool Flush() override { return ::fsync(fd_) == 0; }
    bool Close() override {
        if (fd_ < 0) return true;
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0;
    }
    std::uint32_t LastError() const override { return error_; }

  private:
    int fd_;
    std::uint32_t error_ = 0;
};

std::unique_ptr<IFileStream> Open(const std::string& path, int flags, std::uint32_t& error) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = WindowsError(errno);
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = win::ERROR_ACCESS_DENIED;
        return nullptr;
    }
    error = 0;
    return std::make_unique<PlainStream>(fd);
}

}  // namespace

std::unique_ptr<IFileStream> PlainFileSystem::OpenRead(const std::string& path,
                                                       std::uint32_t& error) {
    return Open(path, O_RDONLY, error);
}

std::unique_ptr<IFileStream> PlainFileSystem::CreateAlways(const std::string& path,
                                                           std::uint32_t& error) {
    return Open(path, O_RDWR | O_CREAT | O_TRUNC, error);
}

CopyOutcome PlainFileSystem::Copy(IFileStream& from, IFileStream& to, std::uint64_t count) {
    return CopyThroughBuffer(from, to, count);
}

std::uint32_t PlainFileSystem::GetFileAttributes(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return win::INVALID_FILE_ATTRIBUTES;
    return S_ISDIR(info.st_mode) ? win::FILE_ATTRIBUTE_DIRECTORY : win::FILE_ATTRIBUTE_ARCHIVE;
}

bool PlainFileSystem::FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool PlainFileSystem::DeleteFile(const std::string&) { return false; }
bool PlainFileSystem::CreateDirectory(const std::string&) { return false; }
bool PlainFileSystem::RemoveDirectory(const std::string&) { return false; }
bool PlainFileSystem::MakeSureDirectoryPathExists(const std::string&) { return false; }
std::vector<FindData> PlainFileSystem::FindFiles(const std::string&) { return {}; }

std::string PlainFileSystem::GetCurrentDirectory() {
    return std::filesystem::current_path().string();
}

std::string PlainFileSystem::GetFullPathName(const std::string& path) {
    return std::filesystem::absolute(path).lexically_normal().string();
}
