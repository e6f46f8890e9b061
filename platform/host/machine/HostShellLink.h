// The shell-link object of the host shell: it keeps a target and a working
// folder and saves them as a .lnk file through the installed file system.
#pragma once

#include "platform/Shell.h"

class HostShellLink : public IShellLinkObject, public IShellLink, public IPersistFile {
  public:
    IShellLink* QueryShellLink() override { return this; }
    IPersistFile* QueryPersistFile() override { return this; }

    win::HRESULT SetPath(const std::string& path) override;
    win::HRESULT SetWorkingDirectory(const std::string& folder) override;
    // Writes the link file; a new file that cannot be written whole is removed
    // again, so that no damaged link remains. The failure is the Win32 error as
    // HRESULT.
    win::HRESULT Save(const std::string& fileName) override;

  private:
    std::string path_;
    std::string workingFolder_;
};
