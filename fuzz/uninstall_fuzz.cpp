// The removal of an earlier installation over arbitrary logs and Start-menu
// folder names, on a Wine prefix of its own. Input: the first line is the old
// Start-menu folder, the rest is the old Install.log. Whatever the input, the
// removal may touch nothing outside the old installation folder and the
// Programs folder: every other file and folder of the prefix must still be
// there afterwards, or the target aborts. Links planted inside both folders
// lead outside (to folders and files that must stay); the input's length
// decides whether the Start-menu folder "Lingora" is itself such a link.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "installlog/Unit_Uninstall.h"
#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/WinTypes.h"
#include "platform/host/machine/HostMachine.h"

namespace {

namespace fs = std::filesystem;

constexpr char OldFolder[] = "C:\\Fuzz\\Old";

struct Machine {
    fs::path root;  // the temporary folder holding the prefix
    std::unique_ptr<HostMachine> host;
    std::unique_ptr<ScopedPlatform> installed;
    fs::path oldFolder, programs, startMenu, current;

    ~Machine() {
        installed.reset();
        host.reset();
        std::error_code ignored;
        fs::current_path(fs::temp_directory_path(), ignored);
        fs::remove_all(root, ignored);
    }

    fs::path Host(const std::string& windowsPath) const {
        const HostLocation location = host->Files().Locate(windowsPath);
        if (location.error != 0) {
            std::fprintf(stderr, "no host place for %s\n", windowsPath.c_str());
            std::abort();
        }
        return location.host;
    }
};

Machine* TheMachine() {
    static std::unique_ptr<Machine> machine = [] {
        auto made = std::make_unique<Machine>();
        std::string pattern = (fs::temp_directory_path() / "uninstall_fuzz.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        made->root = pattern;
        made->host = std::make_unique<HostMachine>(made->root / "prefix", PrefixArch::Win32,
                                                   [](const ProcessRequest&) { return false; });
        made->installed = std::make_unique<ScopedPlatform>(made->host->GetPlatform());
        const std::string programs =
            made->host->Shell().GetSpecialFolderPath(win::CSIDL_PROGRAMS).value();
        fs::create_directories(made->Host("C:\\Fuzz\\Old"));
        fs::create_directories(made->Host(programs));
        made->oldFolder = made->Host(OldFolder);
        made->programs = made->Host(programs);
        made->startMenu = made->programs.parent_path();
        made->current = made->Host("C:\\Fuzz") / "Current";
        return made;
    }();
    return machine.get();
}

void Put(const fs::path& file) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << file.filename().string();
}

// The earlier installation, the Start menu, and what lies around them.
void LayDown(const Machine& machine, bool linkedMenu) {
    std::error_code ignored;
    fs::remove_all(machine.oldFolder.parent_path(), ignored);
    fs::remove_all(machine.startMenu, ignored);
    for (const char* name :
         {"Lingora.exe", "Uninst.exe", "Data/Words.dat", "Data/Deep/Deeper.dat", "Install.log"})
        Put(machine.oldFolder / name);
    for (const char* name : {"Lingora/Lingora.lnk", "Lingora/Uninstall Lingora.lnk", "Lingora.lnk",
                             "Tarnwick/Lingora/Lingora.lnk"})
        Put(machine.programs / name);
    // Outside both folders: siblings, parents, an empty folder, the current folder.
    for (const fs::path& file :
         {machine.oldFolder.parent_path() / "Sentinel.txt",
          machine.oldFolder.parent_path() / "OldSibling" / "Lingora.exe",
          machine.startMenu / "Sentinel.lnk", machine.startMenu / "Lingora" / "Lingora.lnk",
          machine.current / "Lingora.exe", machine.current / "Lingora" / "Lingora.lnk",
          machine.host->Prefix().Folder() / "drive_c" / "Sentinel.txt",
          machine.host->Prefix().Folder() / "Sentinel.txt"})
        Put(file);
    fs::create_directories(machine.oldFolder.parent_path() / "Empty");
    fs::create_directories(machine.startMenu / "Empty");
    // Links below both folders, each leading outside them.
    const fs::path old = machine.oldFolder.parent_path();
    fs::create_directory_symlink(machine.current, machine.oldFolder / "Linked");
    fs::create_directory_symlink(old / "OldSibling", machine.oldFolder / "Words");
    fs::create_directory_symlink(old / "OldSibling", machine.oldFolder / "Data" / "Up");
    fs::create_symlink(old / "Sentinel.txt", machine.oldFolder / "File.lnk");
    fs::create_directory_symlink(machine.startMenu, machine.programs / "Linked");
    fs::create_directory_symlink(machine.host->Prefix().Folder() / "drive_c",
                                 machine.programs / "Up");
    if (linkedMenu) {
        fs::remove_all(machine.programs / "Lingora");
        fs::create_directory_symlink(machine.startMenu / "Lingora", machine.programs / "Lingora");
    }
}

bool Below(const fs::path& path, const fs::path& folder) {
    const std::string p = path.string(), f = folder.string() + "/";
    return p.compare(0, f.size(), f) == 0;
}

// Every path of the prefix that lies outside the two folders (the Programs
// folder itself counts as outside: it must stay).
std::set<fs::path> Outside(const Machine& machine) {
    std::set<fs::path> paths;
    const fs::path prefix = machine.host->Prefix().Folder();
    for (auto it = fs::recursive_directory_iterator(prefix);
         it != fs::recursive_directory_iterator(); ++it) {
        const fs::path& path = it->path();
        if (it->is_symlink()) it.disable_recursion_pending();  // dosdevices
        if (path == machine.oldFolder || Below(path, machine.oldFolder) ||
            Below(path, machine.programs))
            continue;
        // The registry files are rewritten in place of the old ones.
        if (path.parent_path() == prefix && path.extension() == ".reg") continue;
        paths.insert(path);
    }
    return paths;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Machine* machine = TheMachine();
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    std::string startMenuFolder =
        newline == std::string::npos ? "Lingora" : input.substr(0, newline);
    if (!startMenuFolder.empty() && startMenuFolder.back() == '\r') startMenuFolder.pop_back();
    const std::string log = newline == std::string::npos ? input : input.substr(newline + 1);

    // The removal runs in a current folder of the prefix (relative paths would
    // land there); the caller's own is put back afterwards.
    const fs::path callersFolder = fs::current_path();
    fs::current_path(machine->root);
    LayDown(*machine, size % 2 == 1);
    std::ofstream(machine->oldFolder / "Install.log", std::ios::binary | std::ios::trunc) << log;
    fs::current_path(machine->current);
    const std::set<fs::path> before = Outside(*machine);

    try {
        RemovePreviousInstallation(OldFolder, startMenuFolder);
    } catch (const Exception&) {
        // A log that cannot be read is an error for the wizard to show.
    }

    const std::set<fs::path> after = Outside(*machine);
    fs::current_path(callersFolder);
    for (const fs::path& path : before) {
        if (!after.count(path)) {
            std::fprintf(stderr, "removed outside the two folders: %s\n", path.c_str());
            std::abort();
        }
    }
    return 0;
}
