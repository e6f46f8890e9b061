// Removal benchmark: an installation of 20,000 files of 1 KiB in 20 folders,
// with its Install.log and shortcuts, on a temporary prefix. Each round lays the
// same tree down twice and removes one copy as Setup does (the link-safe walk
// from the installation folder, each logged path one name at a time) and the
// other with `rm -r`, each after a sync, so that both start from the same
// state. Prints the medians, their ratio and the target (at most 1.2).
//
//   removal_bench [--files N] [--rounds N] [--dir FOLDER]
//
// Exits with 1 when the target is missed.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "installlog/Unit_Uninstall.h"
#include "platform/Platform.h"
#include "platform/WinTypes.h"
#include "platform/host/machine/HostMachine.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFolders = 20;

// Lays the installation down in folder (a host path) and returns the text of
// its Install.log.
std::string LayDown(const fs::path& folder, int files, const fs::path& shortcuts) {
    const std::string content(1024, 'w');
    std::string log =
        "*** Don't change or delete this file ***\r\n\r\n{program folder}\r\nLingora\r\n\r\n"
        "{program files}\r\n";
    for (int i = 0; i < files; ++i) {
        const std::string sub = "Words" + std::to_string(i % kFolders);
        const std::string name = "List" + std::to_string(i) + ".wdl";
        if (i < kFolders) fs::create_directories(folder / sub);
        std::ofstream(folder / sub / name, std::ios::binary) << content;
        log += sub + "\\" + name + "\r\n";
    }
    log += "\r\n{program folder files}\r\n";
    fs::create_directories(shortcuts);
    for (const char* link : {"Lingora.lnk", "Lingora Help.lnk", "Uninstall Lingora.lnk"}) {
        std::ofstream(shortcuts / link) << "link";
        log += std::string(link) + "\r\n";
    }
    log += "\r\n";
    std::ofstream(folder / "Install.log", std::ios::binary) << log;
    return log;
}

double Seconds(Clock::duration elapsed) { return std::chrono::duration<double>(elapsed).count(); }

double RemoveAsShell(const fs::path& folder) {
    ::sync();
    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::execlp("rm", "rm", "-r", folder.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const double taken = Seconds(Clock::now() - start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || fs::exists(folder)) {
        std::fprintf(stderr, "removal_bench: rm -r failed\n");
        std::exit(2);
    }
    return taken;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int files = 20000;
    int rounds = 3;
    fs::path base = fs::temp_directory_path();
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--files") == 0) files = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--dir") == 0) base = argv[i + 1];
    }
    if (files < kFolders || rounds < 1) {
        std::fprintf(stderr, "usage: removal_bench [--files N>=20] [--rounds N] [--dir FOLDER]\n");
        return 2;
    }
    std::string pattern = (base / "removal-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("removal_bench");
        return 2;
    }
    const fs::path work = pattern;
    int result = 0;
    {
        HostMachine machine(work / "prefix");
        const ScopedPlatform platform(machine.GetPlatform());
        const std::string programs = Shell().GetSpecialFolderPath(win::CSIDL_PROGRAMS).value_or("");
        const fs::path drive = work / "prefix" / "drive_c";
        const fs::path installed = drive / "Lingora";
        const fs::path shortcuts = drive / "users" / WinePrefix::UserName() / "AppData" /
                                   "Roaming" / "Microsoft" / "Windows" / "Start Menu" / "Programs" /
                                   "Lingora";
        const fs::path plain = work / "plain";

        std::vector<double> setup, shell;
        for (int round = 0; round < rounds; ++round) {
            LayDown(installed, files, shortcuts);
            ::sync();
            const auto start = Clock::now();
            const TRemovalOutcome outcome = RemovePreviousInstallation("C:\\Lingora", "Lingora");
            setup.push_back(Seconds(Clock::now() - start));
            if (outcome.Remaining != 0 || fs::exists(installed) || programs.empty()) {
                std::fprintf(stderr, "removal_bench: the removal left %d entries\n",
                             outcome.Remaining);
                result = 2;
                break;
            }
            LayDown(plain, files, work / "plain-shortcuts");
            shell.push_back(RemoveAsShell(plain));
            fs::remove_all(work / "plain-shortcuts");
        }
        if (result == 0) {
            const double ratio = Median(setup) / Median(shell);
            std::printf("removal of %d files in %d folders (median of %d rounds)\n", files,
                        kFolders, rounds);
            std::printf("  Setup's link-safe removal  %.3f s\n", Median(setup));
            std::printf("  rm -r                      %.3f s\n", Median(shell));
            std::printf("  ratio %.2f (target: at most 1.20)\n", ratio);
            result = ratio <= 1.2 ? 0 : 1;
        }
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return result;
}
