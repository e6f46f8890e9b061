#include "installlog/Unit_Uninstall.h"

#include "installlog/Unit_Logfile.h"
#include "installlog/Unit_Paths.h"
#include "platform/DiagnosticLog.h"
#include "platform/Platform.h"
#include "platform/TRegistry.h"
#include "platform/WinTypes.h"
#include "registrynames/RegistryNames.h"

namespace {

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
        if (registry.KeyExists(regnames::Version1Key))
            DeleteKeyIfEmpty(registry, regnames::Version1Key);

        // The verbs of the old layout; the file type itself and ".wdl" stay, as
        // the new registry entries rewrite them.
        registry.SetRootKey(RootKey::ClassesRoot);
        DeleteDefaultValueAndKeyIfEmpty(registry, regnames::OldOpenCommandKey);
        DeleteKeyIfEmpty(registry, regnames::OldOpenKey);
        DeleteDefaultValueAndKeyIfEmpty(registry, regnames::OpenCommandKey);
        DeleteKeyIfEmpty(registry, regnames::OpenKey);
    }

    const std::string programsFolder =
        Shell().GetSpecialFolderPath(win::CSIDL_PROGRAMS).value_or("");
    const std::string logName = JoinPath(oldInstallFolder, LogFileName);
    const TInstallLog log = ReadInstallLog(logName);

    // Without the Programs folder the shortcut paths would be taken from the
    // current folder, so the shortcuts are left where they are.
    if (!programsFolder.empty() && IsContainedRelativePath(oldStartMenuFolder)) {
        for (const std::string& entry : log.ProgramFolderFiles) {
            if (!IsContainedRelativePath(entry)) continue;
            const std::string relative = JoinPath(oldStartMenuFolder, entry);
            if (Files().DeleteFile(JoinPath(programsFolder, relative)))
                diag::Note("shortcut removed: ", JoinPath(programsFolder, relative));
            RemoveEnclosingFolders(programsFolder, relative);
        }
    }
    for (const std::string& entry : log.ProgramFiles) {
        if (!IsContainedRelativePath(entry)) continue;
        if (Files().DeleteFile(JoinPath(oldInstallFolder, entry)))
            diag::Note("removed file ", JoinPath(oldInstallFolder, entry));
        RemoveEnclosingFolders(oldInstallFolder, entry);
    }

    Files().DeleteFile(logName);
    Files().RemoveDirectory(oldInstallFolder);
}
