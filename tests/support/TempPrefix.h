// A temporary Wine prefix for one test: a fresh folder with the minimal prefix,
// a host machine on it installed as the platform for the TempPrefix's lifetime,
// and helpers to look at what the test did there. Programs that the machine
// would start (ShellExecute, the restart) are recorded, never started. The
// Linux desktop's folders are temporary ones beside the prefix.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/host/machine/HostMachine.h"
#include "tests/support/TempFolder.h"

class TempPrefix {
  public:
    explicit TempPrefix(PrefixArch arch = PrefixArch::Win32);
    ~TempPrefix();
    TempPrefix(const TempPrefix&) = delete;
    TempPrefix& operator=(const TempPrefix&) = delete;

    // The prefix folder (holds drive_c, dosdevices, system.reg, user.reg).
    const std::filesystem::path& Folder() const;
    HostMachine& Machine() { return *machine_; }

    // The host path of a Windows path, found as the machine finds it (existing
    // names in any case). Throws std::runtime_error when the path has no place.
    std::filesystem::path HostPath(const std::string& windowsPath) const;
    // The Windows path of the Start menu's Programs folder ("C:\users\...\Programs").
    std::string ProgramsFolder() const;

    // Writes a file at a Windows path (its folders are created); reads one whole
    // ("" when it cannot be read).
    void WriteFile(const std::string& windowsPath, const std::string& content) const;
    std::string ReadFile(const std::string& windowsPath) const;

    // Programs that the machine was asked to start, in order.
    const std::vector<ProcessRequest>& Started() const { return *started_; }

    // Makes hostFolder the process's current directory until the returned guard
    // goes, then puts the previous one back.
    class CurrentDirectory {
      public:
        explicit CurrentDirectory(const std::filesystem::path& hostFolder);
        ~CurrentDirectory();
        CurrentDirectory(const CurrentDirectory&) = delete;
        CurrentDirectory& operator=(const CurrentDirectory&) = delete;

      private:
        std::filesystem::path previous_;
    };
    [[nodiscard]] std::unique_ptr<CurrentDirectory> ChangeDirectory(
        const std::filesystem::path& hostFolder) const;

  private:
    TempFolder temp_;
    std::shared_ptr<std::vector<ProcessRequest>> started_;
    std::unique_ptr<HostMachine> machine_;
    std::unique_ptr<ScopedPlatform> installed_;
};

// A fixture whose tests each run on their own temporary prefix.
class TempPrefixTest : public testing::Test {
  protected:
    TempPrefix prefix_;
};
