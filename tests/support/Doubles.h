// Fault-injecting doubles of the platform, each built on a Forwarding* base so
// that everything it does not change reaches the real machine underneath.
// Typical use with a temporary prefix:
//
//   TempPrefix prefix;
//   FailingWriteFileSystem files(prefix.Machine().Files(), 3);
//   Platform platform = prefix.Machine().GetPlatform();
//   platform.files = &files;
//   ScopedPlatform installed(platform);
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/WinTypes.h"
#include "platform/WindowServices.h"

// The Nth Write (counted from 1 over every stream that CreateAlways gave)
// writes nothing and fails with the given error; other writes go through.
// Bulk copies go through the buffer, so their writes are counted too.
class FailingWriteFileSystem : public ForwardingFileSystem {
  public:
    FailingWriteFileSystem(IFileSystem& inner, int failingWrite,
                           std::uint32_t error = win::ERROR_WRITE_FAULT);
    std::unique_ptr<IFileStream> CreateAlways(const std::string& path,
                                              std::uint32_t& error) override;
    CopyOutcome Copy(IFileStream& from, IFileStream& to, std::uint64_t count) override;
    int Writes() const;  // writes attempted so far

    struct State;

  private:
    std::shared_ptr<State> state_;
};

// The disk holds only `capacity` more bytes, counted over every stream that
// CreateAlways gave: a write beyond it is cut short, ERROR_DISK_FULL.
class DiskFullFileSystem : public ForwardingFileSystem {
  public:
    DiskFullFileSystem(IFileSystem& inner, std::uint64_t capacity);
    std::unique_ptr<IFileStream> CreateAlways(const std::string& path,
                                              std::uint32_t& error) override;
    CopyOutcome Copy(IFileStream& from, IFileStream& to, std::uint64_t count) override;
    std::uint64_t Written() const;

    struct State;

  private:
    std::shared_ptr<State> state_;
};

// The folder (a Windows path) and everything below it refuse to be opened or
// changed with ERROR_ACCESS_DENIED; attributes and listings can still be read.
class DenyingFileSystem : public ForwardingFileSystem {
  public:
    DenyingFileSystem(IFileSystem& inner, std::string deniedFolder);
    std::unique_ptr<IFileStream> OpenRead(const std::string& path, std::uint32_t& error) override;
    std::unique_ptr<IFileStream> CreateAlways(const std::string& path,
                                              std::uint32_t& error) override;
    bool DeleteFile(const std::string& path) override;
    RemoveOutcome RemoveBelow(const std::string& base, const std::string& relative,
                              bool folder) override;
    bool CreateDirectory(const std::string& path) override;
    bool RemoveDirectory(const std::string& path) override;
    bool MakeSureDirectoryPathExists(const std::string& path) override;
    bool IsDenied(const std::string& path);

  private:
    std::string deniedFolder_;
};

// Reading works; every change (creating a key, setting or deleting a value or a
// key) fails with the error (ERROR_ACCESS_DENIED, or ERROR_DISK_FULL for a
// disk with no room for the registry files). Opening an existing key with
// create set still succeeds, as it does for a user who may read it.
class ReadOnlyRegistry : public ForwardingRegistry {
  public:
    explicit ReadOnlyRegistry(IRegistry& inner, std::uint32_t error = win::ERROR_ACCESS_DENIED)
        : ForwardingRegistry(inner), error_(error) {}
    std::uint32_t OpenKey(RootKey root, const std::string& path, bool create, Key& key) override;
    std::uint32_t SetValue(Key key, const std::string& name, const RegValue& value) override;
    std::uint32_t DeleteValue(Key key, const std::string& name) override;
    std::uint32_t DeleteKey(RootKey root, const std::string& path) override;

  private:
    std::uint32_t error_;
};

// CreateShellLink throws EOleSysError with the given code (COM not initialised,
// class not registered ...).
class FailingComShell : public ForwardingShell {
  public:
    FailingComShell(IShell& inner, win::HRESULT code = win::REGDB_E_CLASSNOTREG);
    std::unique_ptr<IShellLinkObject> CreateShellLink() override;

  private:
    win::HRESULT code_;
};

// CreateShellLink gives the real object with one interface missing: its query
// answers null (E_NOINTERFACE).
class LackingInterfaceShell : public ForwardingShell {
  public:
    enum class Missing { ShellLink, PersistFile };
    LackingInterfaceShell(IShell& inner, Missing missing);
    std::unique_ptr<IShellLinkObject> CreateShellLink() override;

  private:
    Missing missing_;
};

// Records ShellExecute calls instead of starting anything; answers `result`.
// A shell that knows no folder, maps no path, starts nothing (ShellExecute
// false) and makes no shortcuts.
class NullShell : public IShell {
  public:
    std::optional<std::string> GetSpecialFolderPath(int) override { return std::nullopt; }
    std::optional<std::string> WindowsPathToHost(const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> HostPathToWindows(const std::string&) override {
        return std::nullopt;
    }
    bool ShellExecute(const std::string&, const std::string&, const std::string&) override {
        return false;
    }
    std::unique_ptr<IShellLinkObject> CreateShellLink() override { return nullptr; }
};

class RecordingShell : public ForwardingShell {
  public:
    struct Call {
        std::string program;
        std::string parameters;
        std::string folder;
    };
    explicit RecordingShell(IShell& inner, bool result = true);
    // Over a NullShell: records the programs started and knows nothing else.
    RecordingShell();
    bool ShellExecute(const std::string& program, const std::string& parameters,
                      const std::string& folder) override;
    const std::vector<Call>& Calls() const { return calls_; }

  private:
    bool result_;
    std::vector<Call> calls_;
};

// Records beeps and restart requests; the restart is accepted unless refused.
// The screen size is the inner one unless set.
class RecordingWindowServices : public ForwardingWindowServices {
  public:
    explicit RecordingWindowServices(IWindowServices& inner, bool acceptRestart = true);
    void MessageBeep(std::uint32_t type) override;
    ScreenSize GetScreenSize() override;
    bool ExitWindowsEx(std::uint32_t flags) override;

    void SetScreenSize(ScreenSize size) { screen_ = size; }
    const std::vector<std::uint32_t>& Beeps() const { return beeps_; }
    const std::vector<std::uint32_t>& RestartRequests() const { return restarts_; }

  private:
    bool acceptRestart_;
    ScreenSize screen_;
    std::vector<std::uint32_t> beeps_;
    std::vector<std::uint32_t> restarts_;
};
