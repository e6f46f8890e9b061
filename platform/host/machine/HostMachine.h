// The host machine: one Wine prefix with its files, registry, shell and window
// services, ready to be installed as the platform.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/Platform.h"
#include "platform/host/files/HostFileSystem.h"
#include "platform/host/machine/HostDesktop.h"
#include "platform/host/machine/HostShell.h"
#include "platform/host/machine/HostWindowServices.h"
#include "platform/host/machine/WinePrefix.h"
#include "platform/host/registry/HostRegistry.h"

class HostMachine {
  public:
    // Lays down the minimal prefix first when the folder holds none (see
    // WinePrefix::EnsureExists, which may throw). starter starts programs and
    // the restart (tests give one that records them); desktop names the Linux
    // desktop's folders (tests give temporary ones).
    explicit HostMachine(std::filesystem::path prefixFolder, PrefixArch arch = PrefixArch::Win32,
                         ProcessStarter starter = StartDetached,
                         DesktopSettings desktop = DesktopSettings::FromEnvironment());
    // The machine on the prefix in prefixFolder as the program uses it: an
    // existing prefix keeps its kind; a new one is of the kind the installed
    // Wine would make (NewPrefixArch with $WINEARCH), checked before anything
    // is written. Throws Exception with a message for the user.
    static std::unique_ptr<HostMachine> Open(std::filesystem::path prefixFolder);
    HostMachine(const HostMachine&) = delete;
    HostMachine& operator=(const HostMachine&) = delete;

    const WinePrefix& Prefix() const { return prefix_; }
    HostFileSystem& Files() { return files_; }
    HostRegistry& Registry() { return registry_; }
    HostShell& Shell() { return shell_; }
    HostWindowServices& WindowServices() { return windows_; }
    HostDesktop& Desktop() { return desktop_; }

    // The five interfaces, for InstallPlatform or ScopedPlatform.
    Platform GetPlatform();

    // Takes away the prefix that the machine laid down when it opened, as long
    // as nothing was written there since (see WinePrefix::RemoveLaidDown): for
    // a run that ended without a change. Nothing happens for a prefix that was
    // there before.
    void RemoveLaidDownPrefix();

  private:
    static WinePrefix Prepared(std::filesystem::path folder, PrefixArch arch,
                               WinePrefix::LaidDown& laidDown);

    WinePrefix::LaidDown laidDown_;  // before prefix_, which fills it in
    WinePrefix prefix_;
    HostFileSystem files_;
    HostRegistry registry_;
    HostShell shell_;
    HostWindowServices windows_;
    HostDesktop desktop_;
};
