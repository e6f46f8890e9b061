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

#include "platform/FileSystem.h"
#include "platform/host/DriveMap.h"

class HostFileSystem : public IFileSystem {
  public:
    explicit HostFileSystem(std::filesystem::path prefixFolder);

    std::unique_ptr<IFileStream> OpenRead(const std::string& path, std::uint32_t& error) override;
    std::unique_ptr<IFileStream> CreateAlways(const std::string& path,
                                              std::uint32_t& error) override;
    // copy_file_range between two host streams; any other pair goes through a buffer.
    CopyOutcome Copy(IFileStream& from, IFileStream& to, std::uint64_t count) override;
    std::uint32_t GetFileAttributes(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    bool DeleteFile(const std::string& path) override;
    bool CreateDirectory(const std::string& path) override;
    bool RemoveDirectory(const std::string& path) override;
    bool MakeSureDirectoryPathExists(const std::string& path) override;
    std::vector<FindData> FindFiles(const std::string& pattern) override;
    std::string GetCurrentDirectory() override;
    std::string GetFullPathName(const std::string& path) override;

    // Where a Windows path (relative or full) lies on the host. A ".." that
    // would climb above the drive's root is refused with ERROR_INVALID_NAME.
    // forCreate as for DriveMap::Resolve.
    HostLocation Locate(const std::string& path, bool forCreate = false);
    const DriveMap& Drives() const { return drives_; }

  private:
    std::string FullPath(const std::string& path, bool* leftRoot);
    void Forget(const HostLocation& removed);

    DriveMap drives_;
};
