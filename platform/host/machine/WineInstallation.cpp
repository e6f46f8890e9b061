#include "platform/host/machine/WineInstallation.h"

#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <stdexcept>

#include "platform/Exceptions.h"

namespace fs = std::filesystem;

namespace {

enum class ElfClass { None, Bits32, Bits64 };

// The word size of an ELF program (its fifth byte); None for anything else,
// such as the shell script that Debian installs as /usr/bin/wine.
ElfClass ElfClassOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    char head[5] = {};
    if (!in.read(head, sizeof head)) return ElfClass::None;
    if (head[0] != 0x7f || head[1] != 'E' || head[2] != 'L' || head[3] != 'F')
        return ElfClass::None;
    if (head[4] == 1) return ElfClass::Bits32;
    if (head[4] == 2) return ElfClass::Bits64;
    return ElfClass::None;
}

bool IsFile(const fs::path& file) {
    std::error_code ignored;
    return fs::is_regular_file(file, ignored);
}

// The folders below an installation root where Wine keeps its libraries: its
// own build (lib, lib64, lib32) and Debian's multiarch layout.
std::vector<fs::path> LibraryFolders(const fs::path& root) {
    std::vector<fs::path> folders;
    for (const char* lib : {"lib", "lib64", "lib32", "lib/x86_64-linux-gnu", "lib/i386-linux-gnu"})
        folders.push_back(root / lib / "wine");
    return folders;
}

void Look(const fs::path& loader, WineInstallation& found) {
    std::error_code error;
    const fs::path real = fs::canonical(loader, error);
    if (error || !IsFile(real)) return;
    // The root of the installation: the folder above the loader's (bin, or
    // Debian's lib/wine, whose own root is two levels up).
    std::vector<fs::path> roots{real.parent_path().parent_path()};
    if (real.parent_path().filename() == "wine")
        roots.push_back(real.parent_path().parent_path().parent_path());

    std::vector<fs::path> loaders{real};
    // A wrapper script: the loaders it starts, beside the libraries.
    if (ElfClassOf(real) == ElfClass::None) {
        for (const fs::path& root : roots)
            for (const char* name : {"wine", "wine64"}) loaders.push_back(root / "lib/wine" / name);
    }
    for (const fs::path& candidate : loaders) {
        const ElfClass kind = ElfClassOf(candidate);
        if (kind == ElfClass::None) continue;
        const char* unixFolder = kind == ElfClass::Bits64 ? "x86_64-unix" : "i386-unix";
        for (const fs::path& root : roots) {
            for (const fs::path& folder : LibraryFolders(root)) {
                if (!IsFile(folder / unixFolder / "ntdll.so")) continue;
                (kind == ElfClass::Bits64 ? found.Runs64 : found.Runs32) = true;
            }
        }
    }
}

}  // namespace

WineInstallation WineInstallation::Find(const std::string& searchPath) {
    WineInstallation found;
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        std::size_t end = searchPath.find(':', start);
        if (end == std::string::npos) end = searchPath.size();
        // An empty entry is the current folder, as for the shell.
        const fs::path folder =
            end == start ? fs::path(".") : fs::path(searchPath.substr(start, end - start));
        for (const char* name : {"wine", "wine64"}) Look(folder / name, found);
        start = end + 1;
    }
    return found;
}

WineInstallation WineInstallation::FindOnPath() {
    const char* path = std::getenv("PATH");
    return Find(path != nullptr ? path : "");
}

PrefixArch NewPrefixArch(const char* winearch, const WineInstallation& wine) {
    const std::string wanted = winearch != nullptr ? winearch : "";
    // Debian builds its "wine" for the system's own word size, as Setup is built.
    constexpr PrefixArch debianWine = sizeof(void*) == 8 ? PrefixArch::Win64 : PrefixArch::Win32;
    if (wanted.empty()) {
        if (!wine.Installed()) return debianWine;
        return wine.Runs64 ? PrefixArch::Win64 : PrefixArch::Win32;
    }
    if (wanted != "win32" && wanted != "win64")
        throw Exception("WINEARCH must be win32 or win64; it is \"" + wanted + "\".");
    const bool win64 = wanted == "win64";
    // Nothing installed contradicts it: the Wine to come is the one asked for.
    if (!wine.Installed() || (win64 ? wine.Runs64 : wine.Runs32))
        return win64 ? PrefixArch::Win64 : PrefixArch::Win32;
    throw Exception(
        "WINEARCH is " + wanted + ", but the Wine installed here runs only " +
        (win64 ? "32-bit" : "64-bit") + " programs, so it could not open a " +
        (win64 ? "64-bit" : "32-bit") + " prefix. " +
        (win64 ? "Install 64-bit Wine (Debian: wine64)"
               : "Install 32-bit Wine (Debian: dpkg --add-architecture i386, then wine32:i386)") +
        ", or set WINEARCH=" + (win64 ? "win32" : "win64") + " or leave it unset.");
}

std::string WineNeededText() {
    return "Wine is not installed on this computer. Lingora is installed in the Wine prefix, "
           "but it needs Wine to start: install the package wine (on Debian and Ubuntu: sudo apt "
           "install wine).";
}
