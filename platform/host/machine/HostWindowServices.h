// Window services on the host: Qt's beep and primary screen, and the restart of
// the Wine prefix (`wineboot --restart`) in place of restarting Windows.
#pragma once

#include <filesystem>

#include "platform/WindowServices.h"
#include "platform/host/machine/HostProcess.h"

class HostWindowServices : public IWindowServices {
  public:
    explicit HostWindowServices(std::filesystem::path prefixFolder,
                                ProcessStarter starter = StartDetached);

    void MessageBeep(std::uint32_t type) override;
    // The primary screen's size; zero when there is no screen.
    ScreenSize GetScreenSize() override;
    // Starts `wineboot --restart` on the prefix; refused (false) when Wine is
    // not installed or it cannot be started.
    bool ExitWindowsEx(std::uint32_t flags) override;

  private:
    std::filesystem::path prefixFolder_;
    ProcessStarter starter_;
};
