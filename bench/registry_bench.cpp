// Registry file benchmark: a system.reg as large as a real prefix's (about 3 MB,
// 16,000 keys) and one ten times larger. Each round opens the prefix's registry
// afresh, changes one value and saves the file atomically (new file, fsync,
// rename), as Setup does for each value it writes. Prints the medians beside
// the targets and beside the bare disk work of the same file (read it, write a
// copy, fsync, rename), measured in the same rounds.
//
//   registry_bench [--rounds N] [--dir FOLDER]
//
// Exits with 1 when a target is missed.
#include <fcntl.h>
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

#include "platform/WinTypes.h"
#include "platform/host/registry/HostRegistry.h"
#include "platform/host/registry/RegistryStorage.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Keys in the manner of Wine's own files: classes, CLSIDs with their servers,
// a few binary values continued over several lines.
std::string MakeSystemReg(int keys) {
    std::string text =
        "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n";
    char line[256];
    for (int i = 0; i < keys; ++i) {
        const int kind = i % 8;
        std::snprintf(
            line, sizeof line,
            "\n[Software\\\\Classes\\\\CLSID\\\\{%08X-%04X-11D0-8FF2-00A0D10038BC}%s] 1796743059\n"
            "#time=1dd872743f52b4a\n",
            i, i % 65536, kind < 4 ? "\\\\InprocServer32" : "");
        text += line;
        if (kind < 4) {
            std::snprintf(line, sizeof line,
                          "@=\"C:\\\\windows\\\\system32\\\\component%d.dll\"\n"
                          "\"ThreadingModel\"=\"Both\"\n",
                          i);
        } else if (kind < 7) {
            std::snprintf(line, sizeof line, "@=\"Component object number %d\"\n", i);
        } else {
            std::snprintf(
                line, sizeof line,
                "\"FilterData\"=hex:02,00,00,00,00,00,60,00,02,00,00,00,00,00,00,00,30,70,69,33,"
                "\\\n"
                "  00,00,00,00,00,00,00,00,01,00,00,00,00,00,00,00,00,00,00,00,30,74,79,33,00,\\\n"
                "  00,00,00,60,00,00,00,70,00,00,00,31,70,69,33,08,00,00,00\n"
                "\"Merit\"=dword:%08x\n",
                i);
        }
        text += line;
    }
    text +=
        "\n[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion] 1796743059\n"
        "#time=1dd872743f52b4a\n\"ProgramFilesDir\"=\"C:\\\\Program Files (x86)\"\n";
    return text;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Opens the registry of the prefix, changes one value, closes: one saved file.
bool ChangeOneValue(const fs::path& prefix, int round) {
    HostRegistry registry(prefix);
    IRegistry::Key key = 0;
    if (registry.OpenKey(RootKey::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion",
                         false, key) != win::ERROR_SUCCESS) {
        return false;
    }
    const std::string text = "C:\\Program Files (x86)\\" + std::to_string(round) + '\0';
    const bool ok = registry.SetValue(key, "ProgramFilesDir", RegValue{win::REG_SZ, text}) ==
                    win::ERROR_SUCCESS;
    registry.CloseKey(key);
    return ok;
}

// The disk work alone: read the file, write it anew beside, fsync, rename.
bool CopyFile(const fs::path& file) {
    std::string content;
    if (ReadRegistryFile(file, content) != 0) return false;
    return ReplaceRegistryFile(file, content) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 7;
    fs::path base = fs::temp_directory_path();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
            base = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--rounds N] [--dir FOLDER]\n", argv[0]);
            return 2;
        }
    }
    std::string pattern = (base / "registry-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    const fs::path folder = pattern;

    struct Case {
        const char* name;
        int keys;
        double target;
    };
    const Case cases[] = {{"real prefix", 16000, 0.1}, {"ten times larger", 160000, 1.0}};
    bool met = true;
    for (const Case& c : cases) {
        const fs::path prefix = folder / std::to_string(c.keys);
        fs::create_directories(prefix);
        const std::string text = MakeSystemReg(c.keys);
        std::ofstream(prefix / "system.reg", std::ios::binary) << text;
        const fs::path copyFolder = folder / (std::to_string(c.keys) + "-copy");
        fs::create_directories(copyFolder);
        std::ofstream(copyFolder / "system.reg", std::ios::binary) << text;

        std::vector<double> changes, copies;
        for (int round = 0; round < rounds; ++round) {
            Clock::time_point start = Clock::now();
            if (!ChangeOneValue(prefix, round)) {
                std::fprintf(stderr, "the change failed\n");
                return 2;
            }
            changes.push_back(Seconds(start));
            start = Clock::now();
            if (!CopyFile(copyFolder / "system.reg")) {
                std::fprintf(stderr, "the copy failed\n");
                return 2;
            }
            copies.push_back(Seconds(start));
        }
        const double change = Median(changes);
        const double copy = Median(copies);
        const bool ok = change < c.target;
        met = met && ok;
        std::printf(
            "%-17s %7.2f MB %7d keys: open + change + save %.3f s (target < %.1f s: %s), "
            "bare read + write + fsync %.3f s, ratio %.2f\n",
            c.name, static_cast<double>(text.size()) / 1e6, c.keys, change, c.target,
            ok ? "met" : "MISSED", copy, change / copy);
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return met ? 0 : 1;
}
