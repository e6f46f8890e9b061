#include "tools/PlainFileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/WinTypes.h"
#include "platform/host/files/HostErrors.h"
#include "platform/host/files/HostFileStream.h"
#include "platform/host/files/HostFolders.h"
#include "platform/host/files/IsoImage.h"

namespace fs = std::filesystem;

namespace {

std::unique_ptr<IFileStream> Open(const std::string& path, int flags, std::uint32_t& error) {
    // O_NONBLOCK: a FIFO must not block the open before it is seen for what it
    // is. Nothing is truncated before the file is known to be a regular one.
    const int fd = ::open(path.c_str(), (flags & ~O_TRUNC) | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int failure = errno;
        // A file on a disk image is read from the image itself, unmounted.
        if ((failure == ENOTDIR || failure == ENOENT) && (flags & O_CREAT) == 0) {
            if (auto inImage = iso::OpenImagePath(path, error);
                inImage || error != win::ERROR_PATH_NOT_FOUND)
                return inImage;
        }
        // A missing file in a missing folder is a missing path, as Setup says it.
        std::error_code ignored;
        const fs::path parent = fs::path(path).parent_path();
        error = WinErrorFromErrno(failure, parent.empty() || fs::is_directory(parent, ignored));
        return nullptr;
    }
    auto stream = std::make_unique<HostFileStream>(fd);
    // Only regular files: a folder, a FIFO or a device is no volume and no target.
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        error = win::ERROR_ACCESS_DENIED;
        return nullptr;
    }
    if ((flags & O_TRUNC) != 0 && info.st_size > 0 && ::ftruncate(fd, 0) != 0) {
        error = WinErrorFromErrno(errno);
        return nullptr;
    }
    error = 0;
    return stream;
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
    if (::stat(path.c_str(), &info) != 0)
        return iso::ImagePathHoldsFile(path)
                   ? win::FILE_ATTRIBUTE_ARCHIVE | win::FILE_ATTRIBUTE_READONLY
                   : win::INVALID_FILE_ATTRIBUTES;
    return S_ISDIR(info.st_mode) ? win::FILE_ATTRIBUTE_DIRECTORY : win::FILE_ATTRIBUTE_ARCHIVE;
}

bool PlainFileSystem::FileExists(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return iso::ImagePathHoldsFile(path);
    return S_ISREG(info.st_mode);
}

bool PlainFileSystem::DeleteFile(const std::string&) { return false; }
bool PlainFileSystem::CreateDirectory(const std::string&) { return false; }
bool PlainFileSystem::RemoveDirectory(const std::string&) { return false; }
bool PlainFileSystem::MakeSureDirectoryPathExists(const std::string&) { return false; }
std::vector<FindData> PlainFileSystem::FindFiles(const std::string&) { return {}; }

std::optional<std::vector<std::string>> PlainFileSystem::HostFolderFiles(
    const std::string& hostFolder) {
    return hostfiles::RegularFilesIn(hostFolder);
}

std::vector<MountPoint> PlainFileSystem::MountTable() { return hostfiles::ReadMountTable(); }

std::string PlainFileSystem::GetCurrentDirectory() {
    return std::filesystem::current_path().string();
}

std::string PlainFileSystem::GetFullPathName(const std::string& path) {
    return std::filesystem::absolute(path).lexically_normal().string();
}
