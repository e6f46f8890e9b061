#include "app/StartUp.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "app/ExitCodes.h"
#include "install/Unit_Installation.h"
#include "platform/Exceptions.h"
#include "platform/host/files/HostFolders.h"
#include "volumes/DiskSearch.h"

void CheckWinePrefixVariable(const char* value) {
    if (value == nullptr || *value == '\0') return;
    if (!std::filesystem::path(value).is_absolute())
        throw Exception(std::string("WINEPREFIX must be an absolute path; it is \"") + value +
                        "\".");
}

int WizardExitCode(int loopResult, const TSetupPars& pars) {
    return pars.FailedPartWay ? ExitFailedPartWay : loopResult;
}

namespace {
// Names the private folder of the copy that runs; set for the copy only.
constexpr char kCopyVariable[] = "LINGORA_SETUP_COPY";
}  // namespace

void RunFromPrivateCopyWhenOnTheDisk(char** argv, const std::vector<std::string>& sources) {
    namespace fs = std::filesystem;
    std::error_code failed;
    if (const char* folder = std::getenv(kCopyVariable); folder != nullptr && *folder != '\0') {
        // This is the copy: its image stays in memory; its file and folder go now.
        const fs::path self = fs::read_symlink("/proc/self/exe", failed);
        if (!failed && self.parent_path() == fs::path(folder)) {
            fs::remove(self, failed);
            fs::remove(folder, failed);
        }
        ::unsetenv(kCopyVariable);
        return;
    }
    if (sources.empty()) return;
    const fs::path program = fs::read_symlink("/proc/self/exe", failed);
    if (failed) return;
    const std::vector<MountPoint> mounts = hostfiles::ReadMountTable();
    const std::string disk = disks::MountOf(disks::NormalFolder(sources.front()), mounts);
    const char* home = std::getenv("HOME");
    if (disk == "/" || disk != disks::MountOf(program.string(), mounts) ||
        (home != nullptr && *home == '/' &&
         disk == disks::MountOf(disks::NormalFolder(home), mounts)))
        return;

    std::string pattern = (fs::temp_directory_path(failed) / "lingora-setup-XXXXXX").string();
    if (failed || ::mkdtemp(pattern.data()) == nullptr) return;
    const fs::path copy = fs::path(pattern) / program.filename();
    if (!fs::copy_file(program, copy, failed) ||
        (fs::permissions(copy, fs::perms::owner_all, failed), failed)) {
        fs::remove_all(pattern, failed);
        return;
    }
    ::setenv(kCopyVariable, pattern.c_str(), 1);
    ::execv(copy.c_str(), argv);
    // The copy cannot be started: go on from the disk.
    ::unsetenv(kCopyVariable);
    fs::remove_all(pattern, failed);
}
