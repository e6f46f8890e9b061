#include "platform/host/files/HostFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/CodePage.h"
#include "platform/WinTypes.h"
#include "platform/host/files/HostErrors.h"
#include "platform/host/files/HostFileStream.h"
#include "platform/host/files/HostFolders.h"
#include "platform/host/files/IsoImage.h"
#include "platform/host/files/WindowsPath.h"

namespace fs = std::filesystem;

namespace {

std::uint32_t AttributesOf(const struct stat& info) {
    std::uint32_t attributes =
        S_ISDIR(info.st_mode) ? win::FILE_ATTRIBUTE_DIRECTORY : win::FILE_ATTRIBUTE_ARCHIVE;
    if ((info.st_mode & S_IWUSR) == 0) attributes |= win::FILE_ATTRIBUTE_READONLY;
    return attributes;
}

// Keeps an open file from being shared, as Windows opens it: an exclusive lock,
// or -1 with the Windows error (and the file closed) when another program holds
// one already.
int LockExclusive(int descriptor, std::uint32_t& error) {
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? win::ERROR_SHARING_VIOLATION : WinErrorFromErrno(errno);
        ::close(descriptor);
        return -1;
    }
    error = 0;
    return descriptor;
}

}  // namespace

namespace hostfiles {

int OpenLocked(const HostLocation& location, int flags, std::int64_t& dataSize,
               std::uint32_t& error) {
    // A name that was free is created exclusively: what opens is then the new,
    // empty regular file, which needs no look at its kind. When something took
    // the name in the meantime, it is opened as anything that exists.
    bool careful = location.exists && !location.regular;
    if ((flags & O_CREAT) != 0 && !location.exists) {
        const int created = ::open(location.host.c_str(), flags | O_EXCL | O_CLOEXEC, 0666);
        if (created >= 0) {
            dataSize = 0;
            return LockExclusive(created, error);
        }
        if (errno != EEXIST) {
            error = WinErrorFromErrno(errno, location.folderExists);
            return -1;
        }
        careful = true;
    }
    // Anything but a regular file or a new one may be a FIFO: O_NONBLOCK keeps
    // it from blocking the open, and is cleared again below.
    const int descriptor =
        ::open(location.host.c_str(), flags | O_CLOEXEC | (careful ? O_NONBLOCK : 0), 0666);
    if (descriptor < 0) {
        error = WinErrorFromErrno(errno, location.folderExists);
        return -1;
    }
    struct stat info {};
    const bool opened = ::fstat(descriptor, &info) == 0;
    if (!opened || S_ISDIR(info.st_mode) || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) ||
        (careful &&
         ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0)) {
        ::close(descriptor);
        error = win::ERROR_ACCESS_DENIED;
        return -1;
    }
    // Only files are kept from sharing; a device is the whole machine's.
    if (S_ISREG(info.st_mode) && LockExclusive(descriptor, error) < 0) return -1;
    dataSize = S_ISREG(info.st_mode) ? static_cast<std::int64_t>(info.st_size) : -1;
    error = 0;
    return descriptor;
}

}  // namespace hostfiles

namespace {

// copy_file_range until count bytes are across or it stops. Returns false when
// the kernel cannot copy between these files at all (nothing was copied), so
// that the caller falls back to the buffer.
bool CopyInKernel(HostFileStream& from, HostFileStream& to, std::uint64_t count,
                  CopyOutcome& outcome) {
    while (outcome.copied < count) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(count - outcome.copied, 1u << 30));
        const ssize_t done =
            ::copy_file_range(from.Descriptor(), nullptr, to.Descriptor(), nullptr, want, 0);
        if (done < 0) {
            if (errno == EINTR) continue;
            const int failure = errno;
            if (outcome.copied == 0 &&
                (failure == EXDEV || failure == ENOSYS || failure == EOPNOTSUPP ||
                 failure == EINVAL || failure == EBADF)) {
                return false;
            }
            // The kernel does not say which side failed; a full disk or quota is
            // the writer's, everything else is taken as the reader's.
            if (failure == ENOSPC || failure == EDQUOT || failure == EFBIG) {
                to.SetLastError(WinErrorFromErrno(failure));
                outcome.fault = CopyOutcome::Fault::ShortWrite;
            } else {
                from.SetLastError(failure == EIO ? win::ERROR_READ_FAULT
                                                 : WinErrorFromErrno(failure));
                outcome.fault = CopyOutcome::Fault::ShortRead;
            }
            return true;
        }
        if (done == 0) {
            outcome.fault = CopyOutcome::Fault::ShortRead;  // the source ended
            return true;
        }
        outcome.copied += static_cast<std::uint64_t>(done);
    }
    return true;
}

// Whether the positions of two files differ by whole pages, so that every page
// of the source lands on one page of the target (true when either has none).
bool PagesApart(const HostFileStream& from, const HostFileStream& to) {
    const off_t source = ::lseek(from.Descriptor(), 0, SEEK_CUR);
    const off_t target = ::lseek(to.Descriptor(), 0, SEEK_CUR);
    if (source < 0 || target < 0) return true;
    static const auto page = static_cast<off_t>(::sysconf(_SC_PAGESIZE));
    return (source - target) % page == 0;
}

// A pipe's two ends, closed when it goes.
struct OwnPipe {
    int ends[2] = {-1, -1};
    ~OwnPipe() {
        for (const int end : ends)
            if (end >= 0) ::close(end);
    }
};

// splice through a pipe of 1 MiB until count bytes are across or it stops.
// copy_file_range splices through a pipe of 64 KiB, which costs a quarter more
// when the source's pages fall across the target's (a file's data in a volume
// follow its record header); a larger pipe takes that cost away. Returns false,
// with nothing copied and the positions as they were, when the kernel cannot
// splice between these files.
bool CopyThroughPipe(HostFileStream& from, HostFileStream& to, std::uint64_t count,
                     CopyOutcome& outcome) {
    constexpr int kPipeSize = 1 << 20;
    const off_t start = ::lseek(from.Descriptor(), 0, SEEK_CUR);
    OwnPipe pipe;
    if (start < 0 || ::pipe2(pipe.ends, O_CLOEXEC) != 0) return false;
    const int capacity = ::fcntl(pipe.ends[1], F_SETPIPE_SZ, kPipeSize);  // else the default
    const auto step = static_cast<std::uint64_t>(capacity > 0 ? capacity : 65536);
    const auto unsupported = [](int failure) {
        return failure == EINVAL || failure == ENOSYS || failure == EOPNOTSUPP || failure == EBADF;
    };
    while (outcome.copied < count && outcome.fault == CopyOutcome::Fault::None) {
        const ssize_t taken = ::splice(from.Descriptor(), nullptr, pipe.ends[1], nullptr,
                                       std::min(step, count - outcome.copied), 0);
        if (taken < 0 && errno == EINTR) continue;
        if (taken < 0 && outcome.copied == 0 && unsupported(errno)) return false;
        if (taken <= 0) {  // a read failure, or the source ended
            if (taken < 0)
                from.SetLastError(errno == EIO ? win::ERROR_READ_FAULT : WinErrorFromErrno(errno));
            outcome.fault = CopyOutcome::Fault::ShortRead;
            break;
        }
        auto pending = static_cast<std::uint64_t>(taken);
        while (pending > 0) {
            const ssize_t given =
                ::splice(pipe.ends[0], nullptr, to.Descriptor(), nullptr, pending, 0);
            if (given < 0 && errno == EINTR) continue;
            if (given < 0 && outcome.copied == 0 && unsupported(errno)) {
                ::lseek(from.Descriptor(), start, SEEK_SET);
                return false;
            }
            if (given <= 0) {
                to.SetLastError(given < 0 ? WinErrorFromErrno(errno) : win::ERROR_WRITE_FAULT);
                outcome.fault = CopyOutcome::Fault::ShortWrite;
                break;
            }
            pending -= static_cast<std::uint64_t>(given);
            outcome.copied += static_cast<std::uint64_t>(given);
        }
    }
    // What was taken but never written is read again by whoever goes on.
    if (outcome.fault == CopyOutcome::Fault::ShortWrite)
        ::lseek(from.Descriptor(), start + static_cast<off_t>(outcome.copied), SEEK_SET);
    return true;
}

// The names of a relative Windows path ('\' or '/' between them, empty names
// and "." dropped); nothing when it is rooted, holds a drive, climbs out, or
// holds a name that Windows cannot hold (a NUL would end the host's name early:
// "..\0x" would be the parent folder).
std::optional<std::vector<std::string>> RelativeNames(const std::string& relative) {
    if (!relative.empty() && (relative.front() == '\\' || relative.front() == '/'))
        return std::nullopt;
    if (relative.find(':') != std::string::npos) return std::nullopt;
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find_first_of("\\/", start);
        if (end == std::string::npos) end = relative.size();
        std::string name = relative.substr(start, end - start);
        if (IsParentName(name)) return std::nullopt;
        if (!name.empty() && name != ".") {
            if (!IsValidWindowsName(name)) return std::nullopt;
            names.push_back(std::move(name));
        }
        start = end + 1;
    }
    return names;
}

// The stored name of the entry of an open folder whose Windows name is ansi
// (the name as written first, then the one that the folder's kept listing
// gives for it, found at hostFolder), with its status as lstat gives it;
// nothing when there is none. The listing only suggests a name: the entry is
// taken from the open folder itself.
std::optional<std::string> FindEntryAt(int folder, const std::string& ansi, struct stat& info,
                                       const fs::path& hostFolder, FolderNameCache& names) {
    const std::string written = HostName(ansi);
    if (::fstatat(folder, written.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) return written;
    const std::optional<std::string> stored = names.Find(hostFolder, ansi);
    if (stored && *stored != written &&
        ::fstatat(folder, stored->c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
        return stored;
    return std::nullopt;
}

std::string FoldedKey(const std::vector<std::string>& names, std::size_t count) {
    std::string key;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) key += '\\';
        for (const char c : names[i]) key += FoldCase(c);
    }
    return key;
}

}  // namespace

HostFileSystem::HostFileSystem(fs::path prefixFolder) : drives_(std::move(prefixFolder)) {}

HostFileSystem::~HostFileSystem() {
    CloseKeptFolder();
    CloseRemovalWalk();
}

void HostFileSystem::Forget(const HostLocation& location) {
    drives_.Names().Removed(location.host.parent_path(), location.host.filename().string());
}

std::string HostFileSystem::FullPath(const std::string& path, bool* leftRoot) {
    // Naming the current directory costs a walk over the drives: only paths
    // that start from it pay for it.
    const bool rooted = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool unc = path.rfind("\\\\", 0) == 0;
    return FullWindowsPath(path, rooted || unc ? std::string() : GetCurrentDirectory(), leftRoot);
}

HostLocation HostFileSystem::Locate(const std::string& path, bool forCreate) {
    if (path.empty()) {  // names nothing, not the current directory
        HostLocation none;
        none.error = win::ERROR_PATH_NOT_FOUND;
        return none;
    }
    bool leftRoot = false;
    const std::string full = FullPath(path, &leftRoot);
    return LocateFull(full, leftRoot, forCreate);
}

HostLocation HostFileSystem::LocateFull(const std::string& full, bool leftRoot, bool forCreate) {
    if (leftRoot) {
        HostLocation refused;
        refused.error = win::ERROR_INVALID_NAME;
        return refused;
    }
    return drives_.Resolve(full, forCreate);
}

std::unique_ptr<IFileStream> HostFileSystem::OpenRead(const std::string& path,
                                                      std::uint32_t& error) {
    const HostLocation location = Locate(path);
    if (location.error != 0) {
        error = location.error;
        return nullptr;
    }
    std::int64_t dataSize = 0;
    const int descriptor = hostfiles::OpenLocked(location, O_RDONLY, dataSize, error);
    if (descriptor < 0) return nullptr;
    return std::make_unique<HostFileStream>(descriptor);
}

std::unique_ptr<IFileStream> HostFileSystem::CreateAlways(const std::string& path,
                                                          std::uint32_t& error) {
    if (path.empty()) {  // names nothing, not the current directory
        error = win::ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    bool leftRoot = false;
    const std::string full = FullPath(path, &leftRoot);
    // Nothing is made that Windows would refuse to make, and so Wine's
    // programs could not open.
    if (const std::uint32_t refused = CreatableNameError(full, false)) {
        error = refused;
        return nullptr;
    }
    if (!leftRoot) {
        const int created = CreateInKeptFolder(full, error);
        if (created >= 0) return std::make_unique<HostFileStream>(created);
        if (error != 0) return nullptr;
    }
    const HostLocation location = LocateFull(full, leftRoot, true);
    if (location.error != 0) {
        error = location.error;
        return nullptr;
    }
    // Truncate only once the lock is held, so that a file open elsewhere keeps
    // its content when the create is refused.
    std::int64_t dataSize = 0;
    const int descriptor = hostfiles::OpenLocked(location, O_RDWR | O_CREAT, dataSize, error);
    if (descriptor < 0) return nullptr;
    if (dataSize > 0 && ::ftruncate(descriptor, 0) != 0) {
        error = WinErrorFromErrno(errno);
        ::close(descriptor);
        return nullptr;
    }
    if (!location.exists)
        drives_.Names().Added(location.host.parent_path(), location.host.filename().string());
    KeepFolder(full, location.host.parent_path());
    return std::make_unique<HostFileStream>(descriptor);
}

int HostFileSystem::CreateInKeptFolder(const std::string& full, std::uint32_t& error) {
    error = 0;
    const std::size_t slash = full.rfind('\\');
    if (slash == std::string::npos) return -1;
    const std::string name = full.substr(slash + 1);
    if (!IsValidWindowsName(name) || name == "." || name == "..") return -1;

    const std::lock_guard<std::mutex> lock(keptMutex_);
    if (kept_.descriptor < 0 || kept_.windows.size() != slash + 1 ||
        full.compare(0, slash + 1, kept_.windows) != 0)
        return -1;
    // The path must still name the kept folder, and the folder's listing must
    // still be current and say that the name is free.
    struct stat folderInfo {};
    if (::stat(kept_.host.c_str(), &folderInfo) != 0 || folderInfo.st_dev != kept_.device ||
        folderInfo.st_ino != kept_.inode) {
        CloseKeptFolder();
        return -1;
    }
    std::string stored;
    if (drives_.Names().Lookup(kept_.host, name, folderInfo, stored) !=
        FolderNameCache::Answer::Missing)
        return -1;

    const std::string hostName = HostName(name);
    const int created =
        ::openat(kept_.descriptor, hostName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (created < 0) {
        // A name taken meanwhile, or the folder gone: the full lookup decides.
        if (errno != EEXIST && errno != ENOENT) error = WinErrorFromErrno(errno);
        return -1;
    }
    if (LockExclusive(created, error) < 0) return -1;
    const bool folderRead = ::fstat(kept_.descriptor, &folderInfo) == 0;
    drives_.Names().Added(kept_.host, hostName, folderRead ? &folderInfo : nullptr);
    return created;
}

void HostFileSystem::KeepFolder(const std::string& full, const fs::path& hostFolder) {
    const std::size_t slash = full.rfind('\\');
    if (slash == std::string::npos) return;
    const std::lock_guard<std::mutex> lock(keptMutex_);
    if (kept_.descriptor >= 0 && kept_.host == hostFolder &&
        kept_.windows.compare(0, std::string::npos, full, 0, slash + 1) == 0)
        return;
    CloseKeptFolder();
    const int descriptor = ::open(hostFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat info {};
    if (descriptor < 0) return;
    if (::fstat(descriptor, &info) != 0) {
        ::close(descriptor);
        return;
    }
    kept_ = KeptFolder{full.substr(0, slash + 1), hostFolder, descriptor, info.st_dev, info.st_ino};
}

void HostFileSystem::CloseKeptFolder() {
    if (kept_.descriptor >= 0) ::close(kept_.descriptor);
    kept_ = KeptFolder{};
}

CopyOutcome HostFileSystem::Copy(IFileStream& from, IFileStream& to, std::uint64_t count) {
    auto* hostFrom = dynamic_cast<HostFileStream*>(&from);
    auto* hostTo = dynamic_cast<HostFileStream*>(&to);
    if (hostFrom != nullptr && hostTo != nullptr) {
        // The kernel reads on from the descriptor's position: a part of a file
        // (a file in a disk image) must not give what lies after it.
        const std::uint64_t readable = std::min(count, hostFrom->Readable());
        CopyOutcome outcome;
        if ((!PagesApart(*hostFrom, *hostTo) &&
             CopyThroughPipe(*hostFrom, *hostTo, readable, outcome)) ||
            CopyInKernel(*hostFrom, *hostTo, readable, outcome)) {
            if (outcome.fault == CopyOutcome::Fault::None && readable < count)
                outcome.fault = CopyOutcome::Fault::ShortRead;
            return outcome;
        }
    }
    return CopyThroughBuffer(from, to, count);
}

std::uint32_t HostFileSystem::GetFileAttributes(const std::string& path) {
    const HostLocation location = Locate(path);
    struct stat info {};
    if (location.error != 0 || ::stat(location.host.c_str(), &info) != 0)
        return win::INVALID_FILE_ATTRIBUTES;
    return AttributesOf(info);
}

bool HostFileSystem::FileExists(const std::string& path) {
    const std::uint32_t attributes = GetFileAttributes(path);
    return attributes != win::INVALID_FILE_ATTRIBUTES &&
           (attributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool HostFileSystem::DeleteFile(const std::string& path) {
    const HostLocation location = Locate(path);
    if (location.error != 0 || !location.exists) return false;
    struct stat info {};
    if (::lstat(location.host.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
    if (::unlink(location.host.c_str()) != 0) return false;
    Forget(location);
    return true;
}

void HostFileSystem::CloseRemovalFolder() {
    if (removal_.folderDescriptor >= 0 && removal_.folderDescriptor != removal_.baseDescriptor)
        ::close(removal_.folderDescriptor);
    removal_.folderDescriptor = -1;
    removal_.folder.clear();
    removal_.folderHost.clear();
}

void HostFileSystem::CloseRemovalWalk() {
    CloseRemovalFolder();
    if (removal_.baseDescriptor >= 0) ::close(removal_.baseDescriptor);
    removal_ = RemovalWalk{};
}

int HostFileSystem::WalkBelow(const std::vector<std::string>& names, RemoveOutcome& outcome) {
    const std::string key = FoldedKey(names, names.size());
    if (removal_.folderDescriptor >= 0 && removal_.folder == key) {
        // Still a folder that is there (a removed one has no links left).
        struct stat info {};
        if (::fstat(removal_.folderDescriptor, &info) == 0 && info.st_nlink > 0)
            return removal_.folderDescriptor;
    }
    CloseRemovalFolder();
    removal_.folderHost = removal_.host;
    int current = removal_.baseDescriptor;
    for (const std::string& name : names) {
        struct stat info {};
        const std::optional<std::string> stored =
            FindEntryAt(current, name, info, removal_.folderHost, drives_.Names());
        int next = -1;
        if (!stored) {
            outcome = RemoveOutcome::Missing;
        } else if (S_ISLNK(info.st_mode)) {
            outcome = RemoveOutcome::NotOurs;
        } else if (!S_ISDIR(info.st_mode)) {
            outcome = RemoveOutcome::Missing;  // a file where the folder was: the path is gone
        } else {
            next =
                ::openat(current, stored->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            // A link put in its place since the look: not followed.
            if (next < 0)
                outcome = errno == ELOOP || errno == ENOTDIR ? RemoveOutcome::NotOurs
                                                             : RemoveOutcome::Failed;
        }
        if (current != removal_.baseDescriptor) ::close(current);
        if (next < 0) {
            removal_.folderHost.clear();
            return -1;
        }
        removal_.folderHost /= *stored;
        current = next;
    }
    removal_.folder = key;
    removal_.folderDescriptor = current;
    return current;
}

RemoveOutcome HostFileSystem::RemoveBelow(const std::string& base, const std::string& relative,
                                          bool folder) {
    const std::optional<std::vector<std::string>> names = RelativeNames(relative);
    if (!names) return RemoveOutcome::NotOurs;
    if (names->empty()) return RemoveOutcome::Failed;  // the base itself is no name below it

    const std::lock_guard<std::mutex> lock(removalMutex_);
    // The base, links and all, as it stands now: kept while its path names the
    // same folder.
    struct stat baseInfo {};
    if (removal_.baseDescriptor < 0 || removal_.base != base ||
        ::stat(removal_.host.c_str(), &baseInfo) != 0 || baseInfo.st_dev != removal_.device ||
        baseInfo.st_ino != removal_.inode) {
        CloseRemovalWalk();
        const HostLocation location = Locate(base);
        if (location.error != 0 || !location.exists) return RemoveOutcome::Missing;
        const int descriptor = ::open(location.host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (descriptor < 0) return RemoveOutcome::Failed;
        if (::fstat(descriptor, &baseInfo) != 0) {
            ::close(descriptor);
            return RemoveOutcome::Failed;
        }
        removal_.base = base;
        removal_.host = location.host;
        removal_.baseDescriptor = descriptor;
        removal_.device = baseInfo.st_dev;
        removal_.inode = baseInfo.st_ino;
    }

    const std::vector<std::string> folders(names->begin(), names->end() - 1);
    RemoveOutcome outcome = RemoveOutcome::Failed;
    const int parent = WalkBelow(folders, outcome);
    if (parent < 0) return outcome;

    struct stat info {};
    const std::optional<std::string> stored =
        FindEntryAt(parent, names->back(), info, removal_.folderHost, drives_.Names());
    if (!stored) return RemoveOutcome::Missing;
    const fs::path parentHost = removal_.folderHost;
    if (folder) {
        if (S_ISLNK(info.st_mode)) return RemoveOutcome::NotOurs;
        if (!S_ISDIR(info.st_mode)) return RemoveOutcome::Failed;
        if (::unlinkat(parent, stored->c_str(), AT_REMOVEDIR) != 0)
            return errno == ENOTEMPTY || errno == EEXIST ? RemoveOutcome::NotEmpty
                                                         : RemoveOutcome::Failed;
        // The walk must not keep the folder just removed, nor one below it.
        const std::string removed = FoldedKey(*names, names->size());
        if (removal_.folder.compare(0, removed.size(), removed) == 0) CloseRemovalFolder();
    } else {
        if (S_ISDIR(info.st_mode)) return RemoveOutcome::Failed;
        // A link goes as the link: unlinkat never follows the last name.
        if (::unlinkat(parent, stored->c_str(), 0) != 0) return RemoveOutcome::Failed;
    }
    drives_.Names().Removed(parentHost, *stored);
    return RemoveOutcome::Removed;
}

bool HostFileSystem::CreateDirectory(const std::string& path) {
    if (path.empty() || CreatableNameError(FullPath(path, nullptr), true) != 0) return false;
    const HostLocation location = Locate(path);
    if (location.error != 0 || location.exists || !location.folderExists) return false;
    if (::mkdir(location.host.c_str(), 0777) != 0) return false;
    drives_.Names().Added(location.host.parent_path(), location.host.filename().string());
    return true;
}

bool HostFileSystem::RemoveDirectory(const std::string& path) {
    const HostLocation location = Locate(path);
    if (location.error != 0 || !location.exists) return false;
    struct stat info {};
    // A symlink to a folder is removed as the link, as Windows removes a junction.
    const bool link = ::lstat(location.host.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    if ((link ? ::unlink(location.host.c_str()) : ::rmdir(location.host.c_str())) != 0)
        return false;
    Forget(location);
    return true;
}

bool HostFileSystem::MakeSureDirectoryPathExists(const std::string& path) {
    bool leftRoot = false;
    if (path.empty()) return false;
    const std::string full = FullPath(path, &leftRoot);
    const auto split = SplitFullPath(full);
    if (leftRoot || !split) return false;
    // The names before the last backslash; the last name is not a folder to create.
    std::vector<std::string> folders = split->names;
    if (!full.empty() && full.back() != '\\' && !folders.empty()) folders.pop_back();
    std::string current = std::string(1, split->drive) + ":\\";
    if (GetFileAttributes(current) == win::INVALID_FILE_ATTRIBUTES) return false;
    for (const std::string& name : folders) {
        if (current.back() != '\\') current += '\\';
        current += name;
        const std::uint32_t attributes = GetFileAttributes(current);
        if (attributes == win::INVALID_FILE_ATTRIBUTES) {
            if (!CreateDirectory(current)) return false;
        } else if ((attributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return false;
        }
    }
    return true;
}

std::vector<FindData> HostFileSystem::FindFiles(const std::string& pattern) {
    std::vector<FindData> found;
    bool leftRoot = false;
    if (pattern.empty()) return found;
    const std::string full = FullPath(pattern, &leftRoot);
    if (leftRoot) return found;
    const std::size_t slash = full.rfind('\\');
    if (slash == std::string::npos) return found;
    const std::string folder = full.substr(0, slash + 1);
    const std::string wanted = full.substr(slash + 1);
    if (wanted.empty()) return found;
    const HostLocation location = drives_.Resolve(folder);
    if (location.error != 0 || !location.exists) return found;

    const bool atRoot = SplitFullPath(folder) && SplitFullPath(folder)->names.empty();
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(location.host.c_str()), closedir);
    if (!dir) return found;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string stored = entry->d_name;
        const bool dots = stored == "." || stored == "..";
        if (dots && atRoot) continue;
        const auto ansi = WindowsName(stored);
        if (!ansi || !MatchesPattern(*ansi, wanted)) continue;  // no ANSI name: not listed
        struct stat info {};
        if (::stat((location.host / stored).c_str(), &info) != 0) continue;  // dangling link
        found.push_back(FindData{*ansi, AttributesOf(info)});
    }
    // Windows lists "." and ".." first; the rest in the order of the folder.
    std::stable_partition(found.begin(), found.end(), [](const FindData& data) {
        return data.name == "." || data.name == "..";
    });
    return found;
}

std::string HostFileSystem::GetCurrentDirectory() {
    std::string buffer(PATH_MAX, '\0');
    if (::getcwd(buffer.data(), buffer.size()) == nullptr) return "C:\\";
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    const auto windows = drives_.ToWindows(buffer);
    // A folder that no drive covers (Z: removed) is no place on the machine:
    // relative paths then start at C:'s root.
    if (!windows) return "C:\\";
    return *windows;
}

std::optional<std::string> HostFileSystem::FromHostPath(const std::string& hostPath) {
    return drives_.ToWindows(hostPath);
}

std::string HostFileSystem::GetFullPathName(const std::string& path) {
    if (path.empty()) return std::string();
    return FullPath(path, nullptr);
}

std::unique_ptr<IFileStream> HostFileSystem::OpenHostRead(const std::string& hostPath,
                                                          std::uint32_t& error) {
    if (hostPath.empty() || hostPath.front() != '/' || hostPath.find('\0') != std::string::npos) {
        error = win::ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    // Opened as anything that exists (a FIFO does not block the open).
    HostLocation location;
    location.host = hostPath;
    location.exists = true;
    location.folderExists = true;
    std::int64_t dataSize = 0;
    const int descriptor = hostfiles::OpenLocked(location, O_RDONLY, dataSize, error);
    if (descriptor >= 0) return std::make_unique<HostFileStream>(descriptor);
    // A file on a disk image is read from the image itself, unmounted.
    if (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND) {
        std::uint32_t imageError = 0;
        if (auto inImage = iso::OpenImagePath(hostPath, imageError); inImage) return inImage;
        if (imageError != win::ERROR_PATH_NOT_FOUND) error = imageError;
    }
    return nullptr;
}

std::optional<std::vector<std::string>> HostFileSystem::HostFolderFiles(
    const std::string& hostFolder) {
    return hostfiles::RegularFilesIn(hostFolder);
}

std::vector<MountPoint> HostFileSystem::MountTable() { return hostfiles::ReadMountTable(); }
