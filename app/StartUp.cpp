#include "app/StartUp.h"

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "install/Unit_Installation.h"
#include "platform/Exceptions.h"
#include "platform/ExitCodes.h"
#include "platform/host/files/HostFolders.h"
#include "volumes/DiskSearch.h"

void CheckWinePrefixVariable(const char* value) {
    if (value == nullptr || *value == '\0') return;
    if (!std::filesystem::path(value).is_absolute())
        throw Exception(std::string("WINEPREFIX must be an absolute path; it is \"") + value +
                        "\".");
}

int WizardExitCode(int loopResult, const TInstallationPars& pars) {
    return pars.FailedPartWay ? ExitFailedPartWay : loopResult;
}

namespace {
// Names the private folder of the copy that runs; set for the copy only.
constexpr char kCopyVariable[] = "LINGORA_SETUP_COPY";
// The private folders' names: this prefix, the process id of the Setup that
// made it, a dash and mkdtemp's six characters.
constexpr char kCopyFolderPrefix[] = "lingora-setup-";

namespace fs = std::filesystem;

// The temporary folder in canonical form ("" when there is none).
fs::path CanonicalTemp() {
    std::error_code failed;
    const fs::path temp = fs::temp_directory_path(failed);
    if (failed) return {};
    fs::path canonical = fs::canonical(temp, failed);
    return failed ? fs::path() : canonical;
}

// The process id in a private folder's name, or 0 when the name is not one.
long CopyFolderOwnerProcess(const std::string& name) {
    const std::string prefix = kCopyFolderPrefix;
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    const std::size_t dash = name.find('-', prefix.size());
    if (dash == std::string::npos || dash == prefix.size() || name.size() - dash - 1 != 6) return 0;
    long pid = 0;
    for (std::size_t i = prefix.size(); i < dash; ++i) {
        if (name[i] < '0' || name[i] > '9' || pid > 100000000) return 0;
        pid = pid * 10 + (name[i] - '0');
    }
    return pid;
}

// True when folder is a private folder that Setup made: directly in the
// temporary folder (both canonical), named by the pattern, owned by this user,
// mode 0700, not a link, holding nothing but one regular file, the copy
// (named program when given).
bool IsOwnCopyFolder(const fs::path& folder, const fs::path& temp, const std::string& program) {
    if (temp.empty() || folder.parent_path() != temp ||
        CopyFolderOwnerProcess(folder.filename().string()) == 0)
        return false;
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid() || (info.st_mode & 07777) != 0700)
        return false;
    int entries = 0;
    std::error_code failed;
    fs::directory_iterator entry(folder, failed), end;
    for (; !failed && entry != end; entry.increment(failed)) {
        struct stat file {};
        if (++entries > 1 || ::lstat(entry->path().c_str(), &file) != 0 || !S_ISREG(file.st_mode) ||
            file.st_uid != ::getuid() || (!program.empty() && entry->path().filename() != program))
            return false;
    }
    return !failed;
}

void RemoveCopyFolder(const fs::path& folder) {
    // What cannot be removed now stays for the next start, which removes the
    // copies of runs that have ended (RemoveStaleCopies).
    std::error_code failed;
    fs::directory_iterator entry(folder, failed), end;
    for (; !failed && entry != end; entry.increment(failed)) {
        std::error_code left;
        fs::remove(entry->path(), left);
    }
    fs::remove(folder, failed);
}

// Private folders of earlier runs whose Setup no longer runs.
void RemoveStaleCopies(const fs::path& temp) {
    std::error_code failed;
    fs::directory_iterator entry(temp, failed), end;
    for (; !failed && entry != end; entry.increment(failed)) {
        const long pid = CopyFolderOwnerProcess(entry->path().filename().string());
        // A process that /proc does not show has ended; the folder's own checks
        // below still decide whether it is one of Setup's copies.
        std::error_code unseen;
        if (pid == 0 || pid == ::getpid() || fs::exists("/proc/" + std::to_string(pid), unseen))
            continue;
        if (IsOwnCopyFolder(entry->path(), temp, {})) RemoveCopyFolder(entry->path());
    }
}

// The folder being made: removed when a signal ends Setup before the copy runs.
char copyBeingMade[4096];
void RemoveCopyOnSignal(int signal) {
    if (copyBeingMade[0] != '\0') {
        // What the folder holds: the copy, named as the program.
        char file[sizeof copyBeingMade + 256];
        std::snprintf(file, sizeof file, "%s/lingora-setup", copyBeingMade);
        // A signal handler has no one to tell; what stays is a copy of a run
        // that has ended, which the next start removes (RemoveStaleCopies).
        ::unlink(file);
        ::rmdir(copyBeingMade);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

}  // namespace

void RunFromPrivateCopyWhenOnTheDisk(char** argv, const std::vector<std::string>& sources) {
    std::error_code failed;
    const fs::path temp = CanonicalTemp();
    if (const char* folder = std::getenv(kCopyVariable); folder != nullptr && *folder != '\0') {
        // This may be the copy: its image stays in memory; its file and folder
        // go now, but only when they are what Setup made, whatever the variable
        // names.
        const fs::path self = fs::read_symlink("/proc/self/exe", failed);
        const fs::path named = fs::weakly_canonical(folder, failed);
        if (!failed && self.parent_path() == named &&
            IsOwnCopyFolder(named, temp, self.filename().string()))
            RemoveCopyFolder(named);
        ::unsetenv(kCopyVariable);
        return;
    }
    if (!temp.empty()) RemoveStaleCopies(temp);
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

    if (temp.empty()) return;
    std::string pattern =
        (temp / (kCopyFolderPrefix + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (pattern.size() >= sizeof copyBeingMade) return;
    // SIGINT or SIGTERM while the copy is made takes the folder away.
    struct sigaction removing {
    }, oldInt{}, oldTerm{};
    removing.sa_handler = RemoveCopyOnSignal;
    ::sigemptyset(&removing.sa_mask);
    sigset_t blocked, previous;
    ::sigemptyset(&blocked);
    ::sigaddset(&blocked, SIGINT);
    ::sigaddset(&blocked, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &blocked, &previous);
    if (::mkdtemp(pattern.data()) == nullptr) {
        ::sigprocmask(SIG_SETMASK, &previous, nullptr);
        return;
    }
    std::snprintf(copyBeingMade, sizeof copyBeingMade, "%s", pattern.c_str());
    ::sigaction(SIGINT, &removing, &oldInt);
    ::sigaction(SIGTERM, &removing, &oldTerm);
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    const auto restore = [&] {
        ::sigprocmask(SIG_BLOCK, &blocked, nullptr);
        ::sigaction(SIGINT, &oldInt, nullptr);
        ::sigaction(SIGTERM, &oldTerm, nullptr);
        copyBeingMade[0] = '\0';
        ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    };
    const fs::path copy = fs::path(pattern) / "lingora-setup";
    if (!fs::copy_file(program, copy, failed) ||
        (fs::permissions(copy, fs::perms::owner_all, failed), failed)) {
        RemoveCopyFolder(pattern);
        restore();
        return;
    }
    ::setenv(kCopyVariable, pattern.c_str(), 1);
    // exec sets the caught signals back to their defaults for the copy, which
    // removes the folder itself.
    ::execv(copy.c_str(), argv);
    // The copy cannot be started: go on from the disk.
    ::unsetenv(kCopyVariable);
    RemoveCopyFolder(pattern);
    restore();
}
