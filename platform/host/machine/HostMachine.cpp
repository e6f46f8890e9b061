#include "platform/host/machine/HostMachine.h"

#include <cstdlib>

#include "platform/host/machine/WineInstallation.h"

WinePrefix HostMachine::Prepared(std::filesystem::path folder, PrefixArch arch,
                                 WinePrefix::LaidDown& laidDown) {
    WinePrefix prefix(std::move(folder));
    laidDown = prefix.EnsureExists(arch);
    return prefix;
}

void HostMachine::RemoveLaidDownPrefix() {
    if (WinePrefix::RemoveLaidDown(laidDown_)) laidDown_ = {};
}

HostMachine::HostMachine(std::filesystem::path prefixFolder, PrefixArch arch,
                         ProcessStarter starter, DesktopSettings desktop)
    : prefix_(Prepared(std::move(prefixFolder), arch, laidDown_)),
      files_(prefix_.Folder()),
      registry_(prefix_.Folder()),
      shell_(files_, registry_, starter),
      windows_(prefix_.Folder(), starter),
      desktop_(prefix_.Folder(), files_, std::move(desktop)) {}

Platform HostMachine::GetPlatform() {
    return Platform{&files_, &registry_, &shell_, &windows_, &desktop_};
}

std::unique_ptr<HostMachine> HostMachine::Open(std::filesystem::path prefixFolder) {
    // (The kind given for an existing prefix is not used: it keeps its own.)
    PrefixArch arch = PrefixArch::Win64;
    if (!WinePrefix(prefixFolder).Exists())
        arch = NewPrefixArch(std::getenv("WINEARCH"), WineInstallation::FindOnPath());
    return std::make_unique<HostMachine>(std::move(prefixFolder), arch);
}
