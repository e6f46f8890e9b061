// The shell of the Wine prefix: the Programs folder from the user's "Shell
// Folders" key, path conversion through the drive map, programs started through
// Wine (Windows programs) or directly (host programs), and shell links saved as
// .lnk files.
#pragma once

#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/host/files/HostFileSystem.h"
#include "platform/host/machine/HostProcess.h"

class HostShell : public IShell {
  public:
    HostShell(HostFileSystem& files, IRegistry& registry, ProcessStarter starter = StartDetached);

    // CSIDL_PROGRAMS: the "Programs" value, else the default path with the
    // prefix user's name. Other folders: nothing.
    std::optional<std::string> GetSpecialFolderPath(int csidl) override;
    // The host folder of the path, or of its deepest existing parent folder when
    // the path does not exist yet (the picker opens there).
    std::optional<std::string> WindowsPathToHost(const std::string& windowsPath) override;
    std::optional<std::string> HostPathToWindows(const std::string& hostPath) override;
    // A .exe, .com or .bat runs through `wine` with WINEPREFIX set; another file
    // runs as it is when it is a host executable; anything else is not started.
    bool ShellExecute(const std::string& program, const std::string& parameters,
                      const std::string& folder) override;
    std::unique_ptr<IShellLinkObject> CreateShellLink() override;

  private:
    HostFileSystem& files_;
    IRegistry& registry_;
    ProcessStarter starter_;
};
