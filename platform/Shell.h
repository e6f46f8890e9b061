// The shell of the machine: special folders, starting programs, path conversion
// for the folder picker, and the shell-link object that saves shortcuts.
//
// Thread use: the user-interface thread only (the thread on which COM works).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/WinTypes.h"

// IShellLinkA: the shortcut's target and working folder (ANSI paths).
class IShellLink {
  public:
    virtual ~IShellLink() = default;
    virtual win::HRESULT SetPath(const std::string& path) = 0;
    virtual win::HRESULT SetWorkingDirectory(const std::string& folder) = 0;
};

// IPersistFile: saves the object to a file, named by a Windows path.
class IPersistFile {
  public:
    virtual ~IPersistFile() = default;
    virtual win::HRESULT Save(const std::string& fileName) = 0;
};

// The object that CoCreateInstance(CLSID_ShellLink) gives. Its interfaces are
// asked for by QueryInterface; a null answer means E_NOINTERFACE.
class IShellLinkObject {
  public:
    virtual ~IShellLinkObject() = default;
    virtual IShellLink* QueryShellLink() = 0;
    virtual IPersistFile* QueryPersistFile() = 0;
};

class IShell {
  public:
    virtual ~IShell() = default;
    // SHGetSpecialFolderLocation + SHGetPathFromIDListA: the folder's Windows path,
    // or nothing when the shell cannot tell.
    virtual std::optional<std::string> GetSpecialFolderPath(int csidl) = 0;
    // The host folder (UTF-8) that the folder picker should open for a Windows path,
    // or nothing when the path has no host folder.
    virtual std::optional<std::string> WindowsPathToHost(const std::string& windowsPath) = 0;
    // The Windows path of a host folder (UTF-8) chosen in the folder picker, or
    // nothing when it cannot be named on the machine.
    virtual std::optional<std::string> HostPathToWindows(const std::string& hostPath) = 0;
    // ShellExecuteA(owner, default verb, program, parameters, folder, SW_SHOW):
    // true when the program was started.
    virtual bool ShellExecute(const std::string& program, const std::string& parameters,
                              const std::string& folder) = 0;
    // CoCreateInstance of the shell-link object; throws EOleSysError on failure.
    virtual std::unique_ptr<IShellLinkObject> CreateShellLink() = 0;
};

class ForwardingShell : public IShell {
  public:
    explicit ForwardingShell(IShell& inner) : inner_(inner) {}
    std::optional<std::string> GetSpecialFolderPath(int csidl) override {
        return inner_.GetSpecialFolderPath(csidl);
    }
    std::optional<std::string> WindowsPathToHost(const std::string& windowsPath) override {
        return inner_.WindowsPathToHost(windowsPath);
    }
    std::optional<std::string> HostPathToWindows(const std::string& hostPath) override {
        return inner_.HostPathToWindows(hostPath);
    }
    bool ShellExecute(const std::string& program, const std::string& parameters,
                      const std::string& folder) override {
        return inner_.ShellExecute(program, parameters, folder);
    }
    std::unique_ptr<IShellLinkObject> CreateShellLink() override {
        return inner_.CreateShellLink();
    }

  protected:
    IShell& Inner() { return inner_; }

  private:
    IShell& inner_;
};
