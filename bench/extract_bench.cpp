// Extraction benchmark: a set of large files over three volumes and a set of
// 20,000 files of 1 KiB, both built by the publisher's volume-set builder, each
// extracted through Setup's real path (the progress window's thread handing its
// steps to the running user-interface thread, the volume reader, the install
// log) into a Wine prefix, side by side with `tar -xf` of the same files and
// `cp` of the volumes, interleaved over several rounds on the same disk; and
// `lingora-setup --unattended` as a whole process of its own beside them (no window,
// nothing handed over). Prints the medians, the ratios against the baselines
// and the peak memory before and after extracting, and of the unattended process.
//
// With --log the same runs write a diagnostic log (app/DiagnosticLogFile.h):
// Setup through the window with the log installed, and the unattended program
// with --log FILE, each side by side with its run without it.
//
// The builder writes the set's digest file, with which Setup checks every volume
// before copying from it. Setup runs on the set with it ("checked") and on the
// same volumes without it (hard links in a folder of their own), side by side;
// the unattended program runs on the set without it.
//
//   extract_bench [--full] [--rounds N] [--only large|small] [--dir FOLDER]
//
// The default run uses 256 MiB of large files; --full uses 1 GiB.
//
// On ext4 without a journal, a new inode is not taken from those freed in the
// last hours while their inode-table blocks are still cached, and the search
// past them can cost more per file than the file itself: a run soon after a
// mass deletion (such as an earlier run's clean-up) measures that search, for
// Setup and tar alike. Drop the caches before such a run (as root:
// `sync; echo 3 > /proc/sys/vm/drop_caches`).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/DiagnosticLogFile.h"
#include "dialogs/Unit_Constants.h"
#include "dialogs/Unit_ExitForm.h"
#include "extract/CopyingScope.h"
#include "extract/Unit_ExtractForm.h"
#include "installlog/Unit_Logfile.h"
#include "platform/Platform.h"
#include "platform/host/files/HostFileSystem.h"
#include "platform/host/machine/WinePrefix.h"
#include "tests/support/QuietWindowServices.h"
#include "tools/VolumeSetBuilder.h"

namespace fs = std::filesystem;

namespace {

struct SourceFile {
    std::string stored;  // relative, backslashes (ASCII here)
    std::int64_t size;
    unsigned seed;
};

// Fills a buffer with bytes that differ from file to file (not compressible).
void Fill(std::vector<char>& buffer, unsigned& state, std::size_t size) {
    auto* words = reinterpret_cast<std::uint32_t*>(buffer.data());
    for (std::size_t i = 0; i < (size + 3) / 4; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        words[i] = state;
    }
}

// Writes the files below source, as tar and cp take them and as the volume set
// is built from.
void WriteSources(const std::vector<SourceFile>& files, const fs::path& source) {
    std::vector<char> buffer(1 << 20);
    for (const SourceFile& file : files) {
        std::string host = file.stored;
        std::replace(host.begin(), host.end(), '\\', '/');
        fs::create_directories((source / host).parent_path());
        std::ofstream out(source / host, std::ios::binary | std::ios::trunc);
        unsigned state = file.seed * 2654435761u + 7;
        std::int64_t left = file.size;
        while (left > 0) {
            const auto piece =
                static_cast<std::size_t>(std::min<std::int64_t>(left, buffer.size()));
            Fill(buffer, state, piece);
            out.write(buffer.data(), static_cast<std::streamsize>(piece));
            left -= static_cast<std::int64_t>(piece);
        }
        out.close();
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", (source / host).c_str());
            std::exit(1);
        }
    }
}

// Builds the volume set from the source files with the publisher's own
// builder; volumeSize counts whole volume files (0: one volume).
void BuildSet(const fs::path& source, const fs::path& volumes, std::int64_t volumeSize) {
    try {
        BuildVolumeSet({source, volumes, volumeSize});
    } catch (const BuildError& error) {
        std::fprintf(stderr, "cannot build the set: %s\n", error.what());
        std::exit(1);
    }
}

int Run(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status != 0) {
        std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
        std::exit(1);
    }
    return status;
}

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0) return std::atol(line.c_str() + length + 1);
    return -1;
}

void Sync() { Run("sync"); }

struct Workload {
    std::string name;
    // Outputs of many files stay until the end: ext4 skips the inodes of files
    // deleted in the last minutes when it allocates new ones, which would slow
    // down whichever run came after a mass deletion.
    bool keepOutputs = false;
    std::vector<fs::path> kept;
    fs::path volumes, archive;
    fs::path plainVolumes;  // the same volumes without the digest file
    std::vector<double> setup, checked, tar, cp, unattended;
    std::vector<double> setupLogged, unattendedLogged;  // with a diagnostic log
    fs::path loggedRun;          // the diagnostic log of one logged Setup run
    long unattendedPeakKiB = 0;  // the largest peak of the unattended processes
};

// Runs `lingora-setup --unattended` as a process of its own on the prefix, installing
// into target from the volumes; returns the process's peak resident memory.
long RunUnattended(const fs::path& prefix, const fs::path& volumes, const std::string& target,
                   const std::string& log = {}) {
    std::vector<std::string> arguments = {SETUP_PATH, "--unattended",  "--accept-licence",
                                          "--quiet",  "--dir",         target,
                                          "--source", volumes.string()};
    if (!log.empty()) arguments.insert(arguments.end(), {"--log", log});
    // The whole installation, its desktop entries too, in folders of the bench's own.
    std::vector<std::string> environment = {"WINEPREFIX=" + prefix.string(),
                                            "XDG_DATA_HOME=" + prefix.string() + "-xdg-data",
                                            "XDG_CONFIG_HOME=" + prefix.string() + "-xdg-config"};
    for (char** variable = environ; *variable != nullptr; ++variable)
        if (std::strncmp(*variable, "WINEPREFIX=", 11) != 0 &&
            std::strncmp(*variable, "XDG_DATA_HOME=", 14) != 0 &&
            std::strncmp(*variable, "XDG_CONFIG_HOME=", 16) != 0)
            environment.push_back(*variable);
    const auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> list;
        for (std::string& text : strings) list.push_back(text.data());
        list.push_back(nullptr);
        return list;
    };
    std::vector<std::string> argumentCopy = arguments;
    std::vector<char*> argv = pointers(argumentCopy);
    std::vector<char*> envp = pointers(environment);
    pid_t child = 0;
    if (posix_spawn(&child, SETUP_PATH, nullptr, nullptr, argv.data(), envp.data()) != 0) {
        std::fprintf(stderr, "cannot start %s\n", SETUP_PATH);
        std::exit(1);
    }
    // The peak is read from the running program: the rusage of a spawned child
    // also counts this process's memory, which the child shared until its exec.
    long peak = 0;
    const std::string proc = "/proc/" + std::to_string(child) + "/";
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        std::ifstream comm(proc + "comm");
        std::string name;
        if (std::getline(comm, name) && name == "lingora-setup") {
            std::ifstream statusFile(proc + "status");
            for (std::string line; std::getline(statusFile, line);)
                if (line.rfind("VmHWM:", 0) == 0)
                    peak = std::max(peak, std::atol(line.c_str() + 6));
        }
        usleep(2000);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "lingora-setup --unattended failed (status %d)\n", status);
        std::exit(1);
    }
    return peak;
}

}  // namespace

// The three targets, each with its measured ratio.
void PrintTargets(const std::vector<Workload>& workloads) {
    const double largeUnattended = Median(workloads[0].unattended) / Median(workloads[0].cp);
    const double smallUnattended = Median(workloads[1].unattended) / Median(workloads[1].tar);
    std::printf(
        "unattended: large unattended/cp %.2f (<= 1.05: %s), small unattended/tar %.2f (<= 1.1: "
        "%s), peak memory %ld KiB large, %ld KiB small\n",
        largeUnattended, largeUnattended <= 1.05 ? "met" : "NOT met", smallUnattended,
        smallUnattended <= 1.1 ? "met" : "NOT met", workloads[0].unattendedPeakKiB,
        workloads[1].unattendedPeakKiB);
    const double largeSetup = Median(workloads[0].setup);
    const double smallSetup = Median(workloads[1].setup);
    std::printf(
        "targets: large tar/setup %.2f (>= 2.0: %s), large setup/cp %.2f (<= 1.2: %s), "
        "small setup/tar %.2f (<= 1.3: %s)\n",
        Median(workloads[0].tar) / largeSetup,
        Median(workloads[0].tar) / largeSetup >= 2.0 ? "met" : "NOT met",
        largeSetup / Median(workloads[0].cp),
        largeSetup / Median(workloads[0].cp) <= 1.2 ? "met" : "NOT met",
        smallSetup / Median(workloads[1].tar),
        smallSetup / Median(workloads[1].tar) <= 1.3 ? "met" : "NOT met");
    const double largeChecked = Median(workloads[0].checked) / Median(workloads[0].cp);
    const double smallChecked = Median(workloads[1].checked) / smallSetup;
    std::printf(
        "checked: large checked/cp %.2f (<= 1.3: %s), small checked/unchecked %.2f (no "
        "measurable change: %s)\n",
        largeChecked, largeChecked <= 1.3 ? "met" : "NOT met", smallChecked,
        smallChecked <= 1.05 ? "met" : "NOT met");
}

int main(int argc, char** argv) {
    bool full = false;
    std::string only;  // "large" or "small": one set alone
    int rounds = 3;
    fs::path base = fs::temp_directory_path();
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--full") {
            full = true;
            rounds = 5;
        } else if (argument == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if (argument == "--dir" && i + 1 < argc) {
            base = argv[++i];
        } else {
            std::fprintf(
                stderr,
                "usage: extract_bench [--full] [--rounds N] [--only large|small] [--dir FOLDER]\n");
            return 2;
        }
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);

    std::string pattern = (base / "extract-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return 1;
    const fs::path root = pattern;
    const fs::path prefix = root / "prefix";
    WinePrefix(prefix).EnsureExists();
    HostFileSystem files(prefix);
    QuietWindowServices windows;
    ScopedPlatform platform(Platform{&files, nullptr, nullptr, &windows});
    BuildTexts();
    ExitForm = new TExitForm();
    ExtractForm = new TExtractForm();

    // The two sets.
    const std::int64_t largeTotal = full ? (std::int64_t{1} << 30) : (std::int64_t{256} << 20);
    std::vector<SourceFile> large;
    for (int i = 0; i < 8; ++i)
        large.push_back({"Data\\Large" + std::to_string(i) + ".bin", largeTotal / 8,
                         static_cast<unsigned>(i + 1)});
    std::vector<SourceFile> small;
    for (int i = 0; i < 20000; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "Dir%02d\\File%05d.dat", i / 1000, i);
        small.push_back({name, 1024, static_cast<unsigned>(i + 100)});
    }
    std::vector<Workload> workloads(2);
    // Whole volume files: the large set's data parts hold a third of its files and
    // 4 KiB more (three volumes), and one byte follows for the next volume's number.
    const std::pair<const std::vector<SourceFile>*, std::int64_t> sets[] = {
        {&large, largeTotal / 3 + 4096 + 1}, {&small, 0}};
    const char* names[] = {"large files", "20,000 files of 1 KiB"};
    auto Selected = [&only, &workloads](const Workload& load) {
        return only.empty() || (only == "large") == (&load == &workloads[0]);
    };
    for (int w = 0; w < 2; ++w) {
        Workload& load = workloads[w];
        load.name = names[w];
        load.keepOutputs = w == 1;
        if (!Selected(load)) continue;
        const fs::path source = root / ("source" + std::to_string(w));
        load.volumes = root / ("volumes" + std::to_string(w));
        load.archive = root / ("set" + std::to_string(w) + ".tar");
        WriteSources(*sets[w].first, source);
        BuildSet(source, load.volumes, sets[w].second);
        load.plainVolumes = root / ("plain" + std::to_string(w));
        fs::create_directories(load.plainVolumes);
        for (const auto& entry : fs::directory_iterator(load.volumes))
            if (entry.path().filename() != "Setup.sum")
                fs::create_hard_link(entry.path(), load.plainVolumes / entry.path().filename());
        Run("tar -cf '" + load.archive.string() + "' -C '" + source.string() + "' .");
        if (!load.keepOutputs) fs::remove_all(source);
    }
    Sync();
    const long idleHwm = StatusKiB("VmHWM:");
    const long idleRss = StatusKiB("VmRSS:");

    int counter = 0;
    for (int round = 0; round < rounds; ++round) {
        for (Workload& load : workloads) {
            if (!Selected(load)) continue;
            const std::string id = std::to_string(counter++);
            auto keepOrRemove = [&load](const fs::path& output) {
                if (load.keepOutputs)
                    load.kept.push_back(output);
                else
                    fs::remove_all(output);
                Sync();
            };
            // Setup: the log, then the window with its thread, as the wizard does.
            auto runSetupOn = [&](const fs::path& volumes, std::vector<double>& times,
                                  const std::string& name, bool logged = false) {
                const std::string target = "C:\\Bench\\" + name + id;
                const fs::path host = prefix / "drive_c" / "Bench" / (name + id);
                fs::create_directories(host);
                fs::current_path(volumes);
                int result = 0;
                std::unique_ptr<DiagnosticLogFile> diagnostic;
                if (logged) {
                    std::string error;
                    load.loggedRun = root / ("log" + id);
                    diagnostic = DiagnosticLogFile::Open(load.loggedRun.string(), error);
                    if (!diagnostic) std::exit(1);
                }
                times.push_back(Seconds([&] {
                    diag::Install(diagnostic.get());
                    TLogFile log(target, "Lingora");
                    TCopyingScope copying;
                    copying.Into(log, target).From({volumes.string()});
                    result = ExtractForm->exec();
                    log.Close();
                    diag::Install(nullptr);
                }));
                if (result != 1) {
                    std::fprintf(stderr, "the extraction ended with %d\n", result);
                    std::exit(1);
                }
                keepOrRemove(host);
            };
            auto runSetup = [&] { runSetupOn(load.plainVolumes, load.setup, "Setup"); };
            auto runChecked = [&] { runSetupOn(load.volumes, load.checked, "Checked"); };
            auto runLogged = [&] {
                runSetupOn(load.plainVolumes, load.setupLogged, "Logged", true);
            };
            // tar and cp write beside Setup's installation folder: new files of one
            // folder come from the same part of the disk (the file system places a
            // file near its folder), whatever earlier runs left there.
            auto runTar = [&] {
                const fs::path output = prefix / "drive_c" / "Bench" / ("Tar" + id);
                fs::create_directories(output);
                load.tar.push_back(Seconds([&] {
                    Run("tar -xf '" + load.archive.string() + "' -C '" + output.string() + "'");
                }));
                keepOrRemove(output);
            };
            auto runCp = [&] {
                const fs::path output = prefix / "drive_c" / "Bench" / ("Cp" + id);
                fs::create_directories(output);
                load.cp.push_back(Seconds([&] {
                    Run("cp '" + load.volumes.string() + "'/Setup.d* '" + output.string() + "'");
                }));
                keepOrRemove(output);
            };
            // The whole program without windows, on a prefix of its own made
            // beforehand (each run would otherwise remove the one before it).
            auto runUnattendedOn = [&](const std::string& name, std::vector<double>& times,
                                       bool logged) {
                const fs::path ownPrefix = root / ("prefix-" + name + id);
                WinePrefix(ownPrefix).EnsureExists();
                Sync();
                long peak = 0;
                const std::string log = logged ? (root / ("log-" + name + id)).string() : "";
                times.push_back(Seconds([&] {
                    peak =
                        RunUnattended(ownPrefix, load.plainVolumes, "C:\\Bench\\Unattended", log);
                }));
                if (!logged) load.unattendedPeakKiB = std::max(load.unattendedPeakKiB, peak);
                keepOrRemove(ownPrefix);
            };
            auto runUnattended = [&] { runUnattendedOn("unattended", load.unattended, false); };
            auto runUnattendedLogged = [&] {
                runUnattendedOn("unattended-logged", load.unattendedLogged, true);
            };
            // Each round starts with another of the seven; a run with the log
            // follows its run without it, so that both see the same machine.
            const std::function<void()> runs[] = {
                runSetup, runLogged, runChecked, runTar, runCp, runUnattended, runUnattendedLogged};
            constexpr int count = sizeof runs / sizeof runs[0];
            for (int i = 0; i < count; ++i) runs[(round + i) % count]();
        }
    }
    const long peakHwm = StatusKiB("VmHWM:");

    // The log's own cost, free of the noise between whole runs: the lines that
    // one logged Setup run recorded, recorded again into a new log (the same
    // joining, time stamps and one write a line), five times.
    for (Workload& load : workloads) {
        if (!Selected(load) || load.loggedRun.empty()) continue;
        std::vector<std::string> lines;
        std::ifstream recorded(load.loggedRun);
        for (std::string line; std::getline(recorded, line);)
            lines.push_back(line.size() > 30 ? line.substr(30) : line);
        std::vector<double> times;
        for (int i = 0; i < 5; ++i) {
            std::string error;
            const fs::path file = root / ("relog" + std::to_string(i));
            std::unique_ptr<DiagnosticLogFile> log = DiagnosticLogFile::Open(file.string(), error);
            if (!log) std::exit(1);
            times.push_back(Seconds([&] {
                diag::Install(log.get());
                for (const std::string& line : lines) diag::Note(line);
                diag::Install(nullptr);
            }));
        }
        // The limit: one write(2) a line, of the lines' average length, and
        // nothing else.
        std::size_t bytes = 0;
        for (const std::string& line : lines) bytes += line.size() + 31;
        const std::string bare(lines.empty() ? 1 : bytes / lines.size(), 'x');
        std::vector<double> writes;
        for (int i = 0; i < 5; ++i) {
            const int fd = ::open((root / ("writes" + std::to_string(i))).c_str(),
                                  O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            writes.push_back(Seconds([&] {
                for (std::size_t n = 0; n < lines.size(); ++n)
                    if (::write(fd, bare.data(), bare.size()) < 0) std::exit(1);
            }));
            ::close(fd);
        }
        std::printf("%-22s the limit: %zu bare write(2) calls of %zu bytes take %.1f ms here\n",
                    load.name.c_str(), lines.size(), bare.size(), Median(writes) * 1000);
        const double cost = Median(times), setup = Median(load.setup);
        std::printf(
            "%-22s the log's own cost: %zu lines in %.1f ms, %.2f%% of setup without it "
            "(%.3f s); (setup + cost)/setup %.3f, target at most 1.05: %s\n",
            load.name.c_str(), lines.size(), cost * 1000, cost / setup * 100, setup,
            (setup + cost) / setup, (setup + cost) / setup <= 1.05 ? "met" : "NOT met");
    }

    // The fixed cost of the real path: the window, the thread and its 100 chunks
    // handed over, on a set of 100 bytes.
    std::vector<double> fixed;
    {
        const fs::path tinyVolumes = root / "volumes-tiny";
        WriteSources({{"Tiny.bin", 100, 1}}, root / "source-tiny");
        BuildSet(root / "source-tiny", tinyVolumes, 0);
        fs::current_path(tinyVolumes);
        for (int i = 0; i < 5; ++i) {
            const std::string target = "C:\\Bench\\Tiny" + std::to_string(i);
            fs::create_directories(prefix / "drive_c" / "Bench" / ("Tiny" + std::to_string(i)));
            fixed.push_back(Seconds([&] {
                TLogFile log(target, "Lingora");
                TCopyingScope copying;
                copying.Into(log, target).From({tinyVolumes.string()});
                ExtractForm->exec();
                log.Close();
            }));
        }
    }

    std::printf("extract_bench: %d rounds, large set %lld MiB over 3 volumes%s\n", rounds,
                static_cast<long long>(largeTotal >> 20), full ? " (full size)" : "");
    for (const Workload& load : workloads) {
        if (!Selected(load)) continue;
        const double setup = Median(load.setup), tar = Median(load.tar), cp = Median(load.cp);
        const double unattended = Median(load.unattended);
        std::printf(
            "%-22s setup %.3f s   tar -xf %.3f s   cp %.3f s   setup/tar %.2f   setup/cp %.2f   "
            "tar/setup %.2f\n%-22s unattended %.3f s   unattended/tar %.2f   unattended/cp %.2f   "
            "peak %ld KiB\n",
            load.name.c_str(), setup, tar, cp, setup / tar, setup / cp, tar / setup, "", unattended,
            unattended / tar, unattended / cp, load.unattendedPeakKiB);
        const double checked = Median(load.checked);
        std::printf(
            "%-22s with digest file: setup %.3f s   without: setup %.3f s   checked/unchecked "
            "%.2f   checked/cp %.2f   checked/tar %.2f\n",
            "", checked, setup, checked / setup, checked / cp, checked / tar);
        const double setupLogged = Median(load.setupLogged);
        const double unattendedLogged = Median(load.unattendedLogged);
        std::printf(
            "%-22s with --log: setup %.3f s (logged/unlogged %.3f)   unattended %.3f s "
            "(logged/unlogged %.3f); target at most 1.05: %s\n",
            "", setupLogged, setupLogged / setup, unattendedLogged, unattendedLogged / unattended,
            setupLogged / setup <= 1.05 && unattendedLogged / unattended <= 1.05 ? "met"
                                                                                 : "NOT met");
    }
    std::printf("fixed cost of the window, the thread and 100 hand-overs (100-byte set): %.1f ms\n",
                Median(fixed) * 1000);
    if (!only.empty()) {
        std::printf("memory: peak before extracting %ld KiB, peak after %ld KiB (+%ld KiB)\n",
                    idleHwm, peakHwm, peakHwm - idleHwm);
    } else {
        PrintTargets(workloads);
        std::printf(
            "memory: idle RSS %ld KiB, peak before extracting %ld KiB, peak after %ld KiB (+%ld "
            "KiB)\n",
            idleRss, idleHwm, peakHwm, peakHwm - idleHwm);
    }

    delete ExtractForm;
    ExtractForm = nullptr;
    delete ExitForm;
    ExitForm = nullptr;
    std::error_code ignored;
    fs::current_path(base, ignored);
    fs::remove_all(root, ignored);
    return 0;
}
