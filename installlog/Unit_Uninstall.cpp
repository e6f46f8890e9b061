#include "installlog/Unit_Uninstall.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>
#include <vector>

#include "installlog/Unit_Logfile.h"
#include "installlog/Unit_Paths.h"
#include "platform/DiagnosticLog.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "platform/TRegistry.h"
#include "platform/WinTypes.h"
#include "platform/WindowsNames.h"
#include "registrynames/RegistryNames.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::size_t Depth(const std::string& relative) {
    return static_cast<std::size_t>(std::count_if(relative.begin(), relative.end(), IsSeparator));
}

// One removal's walk over the log: what it removes and what it leaves.
class Removal {
  public:
    explicit Removal(std::string base) : base_(std::move(base)) {}

    // The entry removed as a file; its folders are noted for the folder pass.
    void File(const std::string& relative, TRemovalOutcome& outcome) {
        const RemoveOutcome done = Files().RemoveBelow(base_, relative, false);
        if (done == RemoveOutcome::Removed) diag::Note("removed file ", JoinPath(base_, relative));
        if (done == RemoveOutcome::NotOurs || done == RemoveOutcome::Failed)
            Remains(relative, done == RemoveOutcome::NotOurs, outcome);
        if (done == RemoveOutcome::NotOurs) return;  // its folders are not walked either
        for (const std::string& folder : EnclosingFolders(relative)) {
            std::string key;
            for (const char c : folder) key += IsSeparator(c) ? '\\' : FoldCase(c);
            if (!known_.insert(key).second) break;  // and so are the ones above it
            folders_.push_back(folder);
        }
    }

    // The folders noted, deepest first, each removed when it is empty.
    void Folders(TRemovalOutcome& outcome) {
        RemoveEmptyFolders(base_, folders_,
                           [&](const std::string& folder) { Remains(folder, false, outcome); });
    }

    // Counts an entry that stays, and names the first.
    void Remains(const std::string& relative, bool notOurs, TRemovalOutcome& outcome) const {
        const std::string path = JoinPath(base_, relative);
        diag::Note(notOurs ? "left behind a link or outside its folder: " : "left: ", path);
        if (outcome.Remaining++ == 0) outcome.FirstRemaining = path;
        if (notOurs && outcome.NotOurs++ == 0) outcome.FirstNotOurs = path;
    }

    const std::string& Base() const { return base_; }

  private:
    std::string base_;
    std::vector<std::string> folders_;
    std::unordered_set<std::string> known_;
};

}  // namespace

std::vector<std::string> EnclosingFolders(std::string relative) {
    std::vector<std::string> folders;
    for (std::size_t cut = relative.find_last_of("\\/"); cut != std::string::npos && cut > 0;
         cut = relative.find_last_of("\\/")) {
        relative.erase(cut);
        folders.push_back(relative);
    }
    return folders;
}

void RemoveEmptyFolders(const std::string& base, std::vector<std::string> folders,
                        const std::function<void(const std::string&)>& stays) {
    std::stable_sort(
        folders.begin(), folders.end(),
        [](const std::string& a, const std::string& b) { return Depth(a) > Depth(b); });
    for (const std::string& folder : folders)
        if (Files().RemoveBelow(base, folder, true) == RemoveOutcome::Failed && stays)
            stays(folder);
}

bool IsContainedRelativePath(const std::string& path) {
    if (!path.empty() && IsSeparator(path.front())) return false;  // rooted or UNC
    if (path.find(':') != std::string::npos) return false;         // a drive (or a stream)
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        if (IsParentName(path.substr(start, end - start))) return false;
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
    if (empty) registry.DeleteKey(key);  // one that stays is an empty key, which does no harm
}

void DeleteDefaultValueAndKeyIfEmpty(TRegistry& registry, const std::string& key) {
    if (!registry.OpenKey(key, false)) return;
    // A value that the registry refuses to delete stays, and its key with it
    // (not empty then): the removal of old entries takes what it can and goes on.
    registry.DeleteValue("");
    DeleteKeyIfEmpty(registry, key);
}

std::function<bool()> RemovalStopRequested;

TRemovalOutcome RemovePreviousInstallation(const std::string& oldInstallFolder,
                                           const std::string& oldStartMenuFolder,
                                           bool keepLogUnlessComplete) {
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

    TRemovalOutcome outcome;
    // The shortcuts are walked from the Programs folder, through the Start-menu
    // folder's own names, so that a link in its place is not followed either;
    // one that leaves the Programs folder leaves every shortcut where it is.
    Removal menu(programsFolder);
    Removal programs(oldInstallFolder);
    struct Entry {
        Removal* removal;
        std::string relative;
        bool contained;  // stays below its folder as written
    };
    std::vector<Entry> entries;
    // Without the Programs folder the shortcut paths would be taken from the
    // current folder, so the shortcuts are left where they are.
    if (!programsFolder.empty())
        for (const std::string& entry : log.ProgramFolderFiles)
            entries.push_back(
                {&menu, JoinPath(oldStartMenuFolder, entry),
                 IsContainedRelativePath(entry) && IsContainedRelativePath(oldStartMenuFolder)});
    for (const std::string& entry : log.ProgramFiles)
        entries.push_back({&programs, entry, IsContainedRelativePath(entry)});

    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (RemovalStopRequested && RemovalStopRequested()) {
            outcome.Stopped = true;
            // What was not reached and is there stays, counted as it stands.
            for (std::size_t j = i; j < entries.size(); ++j) {
                const std::string path = JoinPath(entries[j].removal->Base(), entries[j].relative);
                if (entries[j].contained &&
                    Files().GetFileAttributes(path) != win::INVALID_FILE_ATTRIBUTES)
                    entries[j].removal->Remains(entries[j].relative, false, outcome);
            }
            return outcome;
        }
        if (entries[i].contained)
            entries[i].removal->File(entries[i].relative, outcome);
        else
            entries[i].removal->Remains(entries[i].relative, true, outcome);
    }
    menu.Folders(outcome);
    programs.Folders(outcome);

    if (keepLogUnlessComplete && outcome.Remaining > 0) return outcome;
    if (!Files().DeleteFile(logName) && Files().FileExists(logName))
        programs.Remains(LogFileName, false, outcome);
    if (!Files().RemoveDirectory(oldInstallFolder) && FolderExists(oldInstallFolder)) {
        // A folder that holds what you added stays by design; an empty one remains.
        bool empty = true;
        for (const FindData& entry : Files().FindFiles(JoinPath(oldInstallFolder, "*.*")))
            empty = empty && (entry.name == "." || entry.name == "..");
        if (empty && outcome.Remaining++ == 0) outcome.FirstRemaining = oldInstallFolder;
    }
    return outcome;
}
