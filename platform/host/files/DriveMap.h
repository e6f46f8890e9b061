// The drives of the Wine prefix: each letter is the symlink
// dosdevices/<letter>: and names the host folder of the drive's root. Windows
// names are found case-insensitively, component by component; host names are
// UTF-8. A host path maps back to the drive whose folder holds it.
#pragma once

#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/files/FolderNameCache.h"

// Where a Windows path lies on the host.
struct HostLocation {
    std::filesystem::path host;  // the host path (existing names in their stored case)
    bool exists = false;         // the whole path exists
    bool regular = false;        // it exists and is a regular file
    bool folderExists = false;   // every folder above the last name exists
    std::uint32_t error = 0;     // non-zero: the path has no place on the host
};

class DriveMap {
  public:
    explicit DriveMap(std::filesystem::path prefixFolder);

    // The host folder of a drive's root. ERROR_INVALID_DRIVE when the letter has
    // no link, or its link points nowhere.
    std::optional<std::filesystem::path> DriveRoot(char letter, std::uint32_t& error) const;

    // The host place of a full Windows path (see FullWindowsPath). Refused with
    // ERROR_INVALID_NAME for a name that Windows cannot hold, ERROR_BAD_NETPATH
    // for UNC paths, ERROR_INVALID_DRIVE as above.
    // forCreate: the caller creates the file exclusively (O_EXCL) when it is
    // found missing, so that a name which another program gives the file in the
    // meantime is not overwritten; the folder's kept listing may then answer
    // whether the name exists without a look at the disk.
    HostLocation Resolve(const std::string& fullPath, bool forCreate = false) const;

    // The Windows path of a host path (absolute), through the drive whose folder
    // holds it most closely (normally Z: for places outside the prefix).
    // Nothing when no drive covers it or a name cannot be held in the ANSI code page.
    std::optional<std::string> ToWindows(const std::filesystem::path& hostPath) const;

    const std::filesystem::path& PrefixFolder() const { return prefixFolder_; }
    // The folder listings behind case-insensitive lookups; the file system
    // enters its own changes here.
    FolderNameCache& Names() const { return names_; }

  private:
    // The host folder that the drive's link names (it may point nowhere).
    std::optional<std::filesystem::path> LinkTarget(char letter) const;
    // Resolves without walking when every name but the last exists as written.
    bool ResolveDirectly(const std::filesystem::path& root, const std::vector<std::string>& names,
                         bool forCreate, HostLocation& location) const;

    // The drive links as last read. They hold while the dosdevices folder is the
    // same folder with the same modification time: a link cannot be changed
    // without changing the folder. Links read in the same clock tick as the
    // folder's last change are not kept, so that a change later in that tick
    // cannot pass for the state that was read.
    struct Links {
        bool kept = false;
        dev_t device = 0;
        ino_t inode = 0;
        timespec modified{};
        std::array<bool, 26> read{};
        std::array<std::optional<std::filesystem::path>, 26> targets;
    };

    std::filesystem::path prefixFolder_;
    mutable FolderNameCache names_;
    mutable std::mutex linksMutex_;
    mutable Links links_;
};
