#include "platform/host/HostMachine.h"

WinePrefix HostMachine::Prepared(std::filesystem::path folder, PrefixArch arch) {
    WinePrefix prefix(std::move(folder));
    prefix.EnsureExists(arch);
    return prefix;
}

HostMachine::HostMachine(std::filesystem::path prefixFolder, PrefixArch arch,
                         ProcessStarter starter, DesktopSettings desktop)
    : prefix_(Prepared(std::move(prefixFolder), arch)),
      files_(prefix_.Folder()),
      registry_(prefix_.Folder()),
      shell_(files_, registry_, starter),
      windows_(prefix_.Folder(), starter),
      desktop_(prefix_.Folder(), files_, std::move(desktop)) {}

Platform HostMachine::GetPlatform() {
    return Platform{&files_, &registry_, &shell_, &windows_, &desktop_};
}
