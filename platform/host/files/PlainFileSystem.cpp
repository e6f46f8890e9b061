#include "platform/host/files/PlainFileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/WinTypes.h"
#include "platform/host/files/HostErrors.h"
#include "platform/host/files/HostFileStream.h"
#include "platform/host/files/HostFileSystem.h"
#include "platform/host/files/HostFolders.h"
#include "platform/host/files/IsoImage.h"

namespace fs = std::filesystem;

namespace {

// Opens as the host's file systems open (no FIFO can block it, a regular file
// is kept from sharing); only regular files are kept: a device is no volume and
// no target. A file inside a disk image is read from the image, unmounted.
std::unique_ptr<IFileStream> Open(const std::string& path, bool create, std::uint32_t& error) {
    HostLocation location;
    location.host = path;
    location.exists = !create;  // a free name is created exclusively
    std::error_code ignored;
    const fs::path parent = fs::path(path).parent_path();
    location.folderExists = parent.empty() || fs::is_directory(parent, ignored);
    std::int64_t dataSize = 0;
    const int fd =
        hostfiles::OpenLocked(location, create ? O_RDWR | O_CREAT : O_RDONLY, dataSize, error);
    if (fd < 0) {
        if (!create && (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND)) {
            std::uint32_t imageError = 0;
            if (auto inImage = iso::OpenImagePath(path, imageError); inImage) return inImage;
            if (imageError != win::ERROR_PATH_NOT_FOUND) error = imageError;
        }
        return nullptr;
    }
    auto stream = std::make_unique<HostFileStream>(fd);
    if (dataSize < 0) {
        error = win::ERROR_ACCESS_DENIED;
        return nullptr;
    }
    if (create && dataSize > 0 && ::ftruncate(fd, 0) != 0) {
        error = WinErrorFromErrno(errno);
        return nullptr;
    }
    error = 0;
    return stream;
}

}  // namespace

std::unique_ptr<IFileStream> PlainFileSystem::OpenRead(const std::string& path,
                                                       std::uint32_t& error) {
    return Open(path, false, error);
}

std::unique_ptr<IFileStream> PlainFileSystem::CreateAlways(const std::string& path,
                                                           std::uint32_t& error) {
    return Open(path, true, error);
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

// (Empty when the current directory is gone or cannot be read.)
std::string PlainFileSystem::GetCurrentDirectory() {
    std::error_code failed;
    const fs::path current = fs::current_path(failed);
    return failed ? std::string() : current.string();
}

std::string PlainFileSystem::GetFullPathName(const std::string& path) {
    std::error_code failed;
    const fs::path absolute = fs::absolute(path, failed);
    return failed ? std::string() : absolute.lexically_normal().string();
}
