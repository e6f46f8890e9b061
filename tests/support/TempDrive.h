// A temporary folder laid out as a Wine prefix's drives are (drive_c, and the
// links dosdevices/c: -> ../drive_c and dosdevices/z: -> /), with the host's
// files on it installed as the platform's file system for the TempDrive's
// lifetime; nothing else of a machine (no registry, shell or windows). For the
// tests of the host's files, which need no more.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/Platform.h"
#include "platform/host/files/HostFileSystem.h"
#include "tests/support/TempFolder.h"

class TempDrive {
  public:
    // Lays the drives out in folder (created), or in a temporary folder of the
    // TempDrive's own when folder is empty.
    explicit TempDrive(std::filesystem::path folder = {});
    ~TempDrive();
    TempDrive(const TempDrive&) = delete;
    TempDrive& operator=(const TempDrive&) = delete;

    // The prefix folder (holds drive_c and dosdevices).
    const std::filesystem::path& Folder() const { return folder_; }
    HostFileSystem& Files() { return *files_; }

  private:
    TempFolder temp_;
    std::filesystem::path folder_;
    std::unique_ptr<HostFileSystem> files_;
    std::unique_ptr<ScopedPlatform> installed_;
};
