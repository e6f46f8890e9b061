#include "installlog/Unit_Uninstall.h"

#include "installlog/Unit_Paths.h"
#include "platform/Platform.h"
#include "platform/TRegistry.h"
#include "platform/TextFile.h"
#include "platform/WinTypes.h"

namespace {

constexpr char Version1Key[] = "\\Software\\Tarnwick\\Lingora\\1.0";
constexpr char ProgramFilesMarker[] = "{program files}";
constexpr char ProgramFolderFilesMarker[] = "{program folder files}";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// "..", and what Windows reads as ".." once it drops trailing dots and blanks
// ("...", ".. ").
bool IsParentComponent(const std::string& component) {
    if (component.size() < 2) return false;
    std::size_t dots = 0;
    for (const char c : component) {
        if (c == '.') {
            ++dots;
        } else if (c != ' ') {
            return false;
        }
    }
    return dots >= 2;
}

// Reads lines up to and including the marker line; false when the log ends first.
bool SkipToMarker(TextFileReader& log, const char* marker) {
    std::string line;
    while (log.ReadLine(line)) {
        if (line == marker) return true;
    }
    return false;
}

// Calls remove(entry) for each entry after the marker, up to the first empty line
// or the end of the log (an entry on the last line counts too, whether or not
// the line has its line end).
template <typename Remove>
void ForEachEntry(TextFileReader& log, const char* marker, Remove remove) {
    if (!SkipToMarker(log, marker)) return;
    std::string line;
    while (log.ReadLine(line) && !line.empty()) {
        if (IsContainedRelativePath(line)) remove(line);
    }
}

// Removes the folders of a relative path from the innermost outwards, each only
// if it is empty: "A\B\x.lnk" removes base\A\B, then base\A.
void RemoveEnclosingFolders(const std::string& base, std::string relative) {
    for (std::size_t cut = relative.rfind('\\'); cut != std::string::npos && cut > 0;
         cut = relative.rfind('\\')) {
        relative.erase(cut);
        Files().RemoveDirectory(JoinPath(base, relative));
    }
}

}  // namespace

bool IsContainedRelativePath(const std::string& path) {
    if (!path.empty() && IsSeparator(path.front())) return false;  // rooted or UNC
    if (path.find(':') != std::string::npos) return false;         // a drive (or a stream)
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        if (IsParentComponent(path.substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

void DeleteKeyIfEmpty(TRegistry& registry, const std::string& key) {
    if (!registry.OpenKey(key, false)) return;
    TRegKeyInfo info;
    // A key whose counts cannot be read is not known to be empty: it stays.
    const bool empty = registry.GetKeyInfo(info) && info.NumSubKeys == 0 && info.NumValues == 0;
    registry.CloseKey();
    if (empty) registry.DeleteKey(key);
}

void DeleteDefaultValueAndKeyIfEmpty(TRegistry& registry, const std::string& key) {
    if (!registry.OpenKey(key, false)) return;
    registry.DeleteValue("");
    DeleteKeyIfEmpty(registry, key);
}

void RemovePreviousInstallation(const std::string& oldInstallFolder,
                                const std::string& oldStartMenuFolder) {
    {
        TRegistry registry;
        registry.SetRootKey(RootKey::LocalMachine);
        if (registry.KeyExists(Version1Key)) DeleteKeyIfEmpty(registry, Version1Key);

        // The verbs of the old layout; the file type itself and ".wdl" stay, as
        // the new registry entries rewrite them.
        registry.SetRootKey(RootKey::ClassesRoot);
        DeleteDefaultValueAndKeyIfEmpty(registry, "\\Lingora.Wordlist\\Shell\\Openen\\command");
        DeleteKeyIfEmpty(registry, "\\Lingora.Wordlist\\Shell\\Openen");
        DeleteDefaultValueAndKeyIfEmpty(registry, "\\Lingora.Wordlist\\Shell\\Open\\command");
        DeleteKeyIfEmpty(registry, "\\Lingora.Wordlist\\Shell\\Open");
    }

    const std::string programsFolder =
        Shell().GetSpecialFolderPath(win::CSIDL_PROGRAMS).value_or("");
    const std::string logName = JoinPath(oldInstallFolder, "Install.log");

    {
        TextFileReader log(logName);

        // Without the Programs folder the shortcut paths would be taken from the
        // current folder, so the shortcuts are left where they are.
        if (!programsFolder.empty() && IsContainedRelativePath(oldStartMenuFolder)) {
            ForEachEntry(log, ProgramFolderFilesMarker, [&](const std::string& entry) {
                const std::string relative = JoinPath(oldStartMenuFolder, entry);
                Files().DeleteFile(JoinPath(programsFolder, relative));
                RemoveEnclosingFolders(programsFolder, relative);
            });
        }

        // Each pass looks for its marker from the start: the order of the
        // sections does not matter.
        log.Reset();
        ForEachEntry(log, ProgramFilesMarker, [&](const std::string& entry) {
            Files().DeleteFile(JoinPath(oldInstallFolder, entry));
            RemoveEnclosingFolders(oldInstallFolder, entry);
        });
        log.Close();
    }

    Files().DeleteFile(logName);
    Files().RemoveDirectory(oldInstallFolder);
}
