// The files and folders of the Wine prefix's drives (see platform/FileSystem.h
// for the contract). Paths go through the drive map; relative paths start at
// the process's current directory, named as a Windows path.
//
// A regular file opened with OpenRead or CreateAlways holds an exclusive
// flock() for as long as it is open, so that a second OpenRead or CreateAlways
// of it (from this or another process) fails with ERROR_SHARING_VIOLATION, as
// Windows does for a file opened without sharing. The lock is advisory: host
// programs that take no lock are not stopped by it. Devices are not locked.
#pragma once

#include <sys/stat.h>

#include <mutex>

#include "platform/FileSystem.h"
#include "platform/host/files/DriveMap.h"

class HostFileSystem : public IFileSystem {
  public:
    explicit HostFileSystem(std::filesystem::path prefixFolder);
    ~HostFileSystem() override;
    HostFileSystem(const HostFileSystem&) = delete;
    HostFileSystem& operator=(const HostFileSystem&) = delete;

    std::unique_ptr<IFileStream> OpenRead(const std::string& path, std::uint32_t& error) override;
    std::unique_ptr<IFileStream> CreateAlways(const std::string& path,
                                              std::uint32_t& error) override;
    // Between two host streams the kernel copies: through a pipe of 1 MiB when
    // their positions differ by part of a page, else copy_file_range. Any other
    // pair, or files the kernel cannot copy between, go through a buffer.
    CopyOutcome Copy(IFileStream& from, IFileStream& to, std::uint64_t count) override;
    std::uint32_t GetFileAttributes(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    bool DeleteFile(const std::string& path) override;
    // Walks with openat(O_NOFOLLOW | O_DIRECTORY) from base, one name at a time
    // (an exact match first, then a case-insensitive scan of the folder), and
    // removes the last name with unlinkat. The folders reached last are kept
    // open for the next call below the same base, so that a removal of many
    // files in few folders opens each folder once.
    RemoveOutcome RemoveBelow(const std::string& base, const std::string& relative,
                              bool folder) override;
    bool CreateDirectory(const std::string& path) override;
    bool RemoveDirectory(const std::string& path) override;
    bool MakeSureDirectoryPathExists(const std::string& path) override;
    std::vector<FindData> FindFiles(const std::string& pattern) override;
    std::string GetCurrentDirectory() override;
    std::string GetFullPathName(const std::string& path) override;
    // The Windows path of a host path, through the drive that covers it (Z:).
    std::optional<std::string> FromHostPath(const std::string& hostPath) override;
    std::unique_ptr<IFileStream> OpenHostRead(const std::string& hostPath,
                                              std::uint32_t& error) override;
    std::optional<std::vector<std::string>> HostFolderFiles(const std::string& hostFolder) override;
    std::vector<MountPoint> MountTable() override;

    // Where a Windows path (relative or full) lies on the host. A ".." that
    // would climb above the drive's root is refused with ERROR_INVALID_NAME.
    // forCreate as for DriveMap::Resolve.
    HostLocation Locate(const std::string& path, bool forCreate = false);
    const DriveMap& Drives() const { return drives_; }

  private:
    std::string FullPath(const std::string& path, bool* leftRoot);
    HostLocation LocateFull(const std::string& full, bool leftRoot, bool forCreate);
    void Forget(const HostLocation& removed);

    // The folder of the last file created, held open: the files an installation
    // creates one after another in one folder are made relative to it, without
    // a walk along the whole path and the drive link for each. It answers only
    // while its host path still names that very folder, so that a folder renamed
    // or replaced meanwhile is looked up afresh. (A drive link changed during a
    // run of creates in one folder is seen at the next folder.)
    struct KeptFolder {
        std::string windows;         // the full Windows path, ending in a backslash
        std::filesystem::path host;  // where it lies
        int descriptor = -1;         // O_PATH
        dev_t device = 0;
        ino_t inode = 0;
    };
    // The new file of a full path created in the kept folder: its descriptor, or
    // -1 with error 0 when the kept folder cannot answer for it (the full lookup
    // then decides), or -1 with the error of a create that failed.
    int CreateInKeptFolder(const std::string& full, std::uint32_t& error);
    void KeepFolder(const std::string& full, const std::filesystem::path& hostFolder);
    void CloseKeptFolder();  // keptMutex_ held (or the object going)

    // The base of the last RemoveBelow and the folder below it reached last,
    // both opened without following links below the base.
    struct RemovalWalk {
        std::string base;            // the base as given
        std::filesystem::path host;  // where it lay
        int baseDescriptor = -1;
        dev_t device = 0;
        ino_t inode = 0;
        std::string folder;                // the relative folder reached (names folded)
        std::filesystem::path folderHost;  // where it lies
        int folderDescriptor = -1;         // -1: none reached; the base's own for the base
    };
    // The descriptor of the folder relative (split into names) below the base,
    // walked without links; -1 with outcome Missing, NotOurs or Failed otherwise.
    int WalkBelow(const std::vector<std::string>& names, RemoveOutcome& outcome);
    void CloseRemovalFolder();  // removalMutex_ held
    void CloseRemovalWalk();    // removalMutex_ held

    DriveMap drives_;
    std::mutex removalMutex_;
    RemovalWalk removal_;
    std::mutex keptMutex_;
    KeptFolder kept_;
};

namespace hostfiles {

// Opens the file at a host location, with open(2)'s flags, as the host's file
// systems open files: a name that was free is created exclusively; anything
// else that may not be a regular file (location.regular false) is opened with
// O_NONBLOCK, so that a FIFO cannot block the open, and a folder, a FIFO or a
// socket is refused with ERROR_ACCESS_DENIED; a regular file is locked as
// above. The descriptor, or -1 with the Windows error (location.folderExists
// tells a missing file from a missing path). dataSize is the size of the file
// opened when it is a regular file, -1 for a device.
int OpenLocked(const HostLocation& location, int flags, std::int64_t& dataSize,
               std::uint32_t& error);

}  // namespace hostfiles
