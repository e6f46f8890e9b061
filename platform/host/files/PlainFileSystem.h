// The files of the machine, named by host paths (UTF-8, '/'), for the volume
// reader in the publisher's tool. Only what reading a set needs is offered:
// opening (as the prefix's files open: no FIFO blocks it, a regular file is not
// shared; devices are refused), creating, copying and testing files; folder
// operations fail. A path that cannot be made absolute (the current directory
// is gone) gives an empty name; nothing here throws.
#pragma once

#include "platform/FileSystem.h"

class PlainFileSystem : public IFileSystem {
  public:
    std::unique_ptr<IFileStream> OpenRead(const std::string& path, std::uint32_t& error) override;
    std::unique_ptr<IFileStream> CreateAlways(const std::string& path,
                                              std::uint32_t& error) override;
    CopyOutcome Copy(IFileStream& from, IFileStream& to, std::uint64_t count) override;
    std::uint32_t GetFileAttributes(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    bool DeleteFile(const std::string& path) override;
    RemoveOutcome RemoveBelow(const std::string&, const std::string&, bool) override {
        return RemoveOutcome::Failed;
    }
    bool CreateDirectory(const std::string& path) override;
    bool RemoveDirectory(const std::string& path) override;
    bool MakeSureDirectoryPathExists(const std::string& path) override;
    std::vector<FindData> FindFiles(const std::string& pattern) override;
    std::string GetCurrentDirectory() override;
    std::string GetFullPathName(const std::string& path) override;
    // Host paths are this file system's own names.
    std::optional<std::string> FromHostPath(const std::string& hostPath) override {
        return hostPath;
    }
    std::unique_ptr<IFileStream> OpenHostRead(const std::string& hostPath,
                                              std::uint32_t& error) override {
        return OpenRead(hostPath, error);
    }
    std::optional<std::vector<std::string>> HostFolderFiles(const std::string& hostFolder) override;
    std::vector<MountPoint> MountTable() override;
};
