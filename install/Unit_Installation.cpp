#include "install/Unit_Installation.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "install/Unit_FolderProbe.h"
#include "installlog/Unit_Logfile.h"
#include "installlog/Unit_Paths.h"
#include "installlog/Unit_Uninstall.h"
#include "platform/DiagnosticLog.h"
#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/SystemMessages.h"
#include "platform/TRegistry.h"
#include "platform/WinTypes.h"
#include "registrynames/RegistryNames.h"
#include "system/Unit_DesktopEntries.h"
#include "system/Unit_Settings.h"
#include "system/Unit_Shortcuts.h"
#include "volumes/CopyResult.h"
#include "volumes/VolumeDigest.h"

namespace {

constexpr char DefaultInstallFolder[] = "C:\\Program Files\\Lingora";
constexpr char DefaultProgramFolder[] = "Lingora";

// The earlier installation named by the uninstall entry: its folder (before the
// last backslash of the uninstall command) and, from its log, its Start-menu
// folder. Version 1.0 is told by its own key beside the entry.
void ReadPreviousInstallation(TInstallationPars& pars, TOldVersion& oldVersion) {
    TRegistry registry;
    registry.SetRootKey(RootKey::LocalMachine);
    if (!registry.OpenKey(regnames::UninstallKey, false) ||
        !registry.ValueExists(regnames::UninstallStringValue)) {
        diag::Note("decision: no uninstall entry, so no earlier installation");
        return;
    }
    const std::string uninstall = registry.ReadString(regnames::UninstallStringValue);
    if (registry.KeyExists(regnames::Version1Key)) {
        oldVersion.UninstallCommand = uninstall;
        oldVersion.Found = true;
        diag::Note("decision: version 1.0 is installed; its uninstall command is ", uninstall);
    }
    const std::size_t lastBackslash = uninstall.rfind('\\');
    pars.PreviousInstallFolder = TrimTrailingBackslash(
        lastBackslash == std::string::npos ? std::string()
                                           : uninstall.substr(0, lastBackslash + 1));

    const std::string logName = JoinPath(pars.PreviousInstallFolder, LogFileName);
    if (Files().FileExists(logName)) {
        const TInstallLog log = ReadInstallLog(logName);
        if (log.HasProgramFolder) {
            pars.PreviousProgramFolder = log.ProgramFolder;
            pars.PreviousInstallFound = true;
        }
    }
    diag::Note(
        "decision: the uninstall entry names ", pars.PreviousInstallFolder,
        pars.PreviousInstallFound
            ? "; an earlier installation is there, its Start-menu folder "
            : "; no Install.log there names a Start-menu folder, so no earlier installation ",
        pars.PreviousProgramFolder);
    pars.InstallFolder = pars.PreviousInstallFolder;
    pars.ProgramFolder = pars.PreviousProgramFolder;
}

void Warn(const TWarn& warn, const std::string& warning) {
    if (!warning.empty()) warn(warning);
}

// The earlier installation with its desktop entries, which are found from the
// shortcut names of its log: the log is read before the removal deletes it.
TRemovalOutcome RemovePreviousWithDesktopEntries(const TInstallationPars& pars, const TWarn& warn,
                                                 bool keepLogUnlessComplete) {
    std::vector<std::string> shortcutFiles;
    try {
        shortcutFiles =
            ReadInstallLog(JoinPath(pars.PreviousInstallFolder, LogFileName)).ProgramFolderFiles;
    } catch (const std::exception&) {
        // The removal reports an unreadable log itself.
    }
    const diag::Stage stage("removal of the installation in the earlier folder");
    diag::Note("removing the installation recorded in ",
               JoinPath(pars.PreviousInstallFolder, LogFileName));
    const TRemovalOutcome outcome = RemovePreviousInstallation(
        pars.PreviousInstallFolder, pars.PreviousProgramFolder, keepLogUnlessComplete);
    if (!outcome.Stopped)
        Warn(warn, RemoveDesktopEntries(pars.PreviousProgramFolder, shortcutFiles));
    return outcome;
}

IRunLock* runLock = nullptr;
bool changesBegan = false;

// The run lock for one run; Exception with the refusal when it cannot be had.
class RunLockScope {
  public:
    RunLockScope() {
        if (runLock == nullptr) return;
        const std::string refused = runLock->Take();
        if (!refused.empty()) throw Exception(refused);
        taken_ = true;
    }
    ~RunLockScope() {
        if (taken_) runLock->Release();
    }
    // Stops the run (Exception) when the prefix locked is no longer the prefix.
    void Check() const {
        if (!taken_) return;
        const std::string lost = runLock->Lost();
        if (!lost.empty()) throw Exception(lost);
    }
    RunLockScope(const RunLockScope&) = delete;
    RunLockScope& operator=(const RunLockScope&) = delete;

  private:
    bool taken_ = false;
};

// However the run ends, the desktop's databases follow the entries it changed.
struct DesktopDatabasesUpdate {
    DesktopDatabasesUpdate() = default;
    DesktopDatabasesUpdate(const DesktopDatabasesUpdate&) = delete;
    DesktopDatabasesUpdate& operator=(const DesktopDatabasesUpdate&) = delete;
    ~DesktopDatabasesUpdate() { UpdateDesktopDatabases(); }
};

}  // namespace

void ReadStartState(TInstallationPars& pars, TOldVersion& oldVersion,
                    const std::function<void(const std::exception&)>& report) {
    pars.PreviousInstallFound = false;
    oldVersion = {};
    try {
        ReadPreviousInstallation(pars, oldVersion);
    } catch (const std::exception& error) {
        pars.PreviousInstallFound = false;
        report(error);
    }
    if (pars.PreviousInstallFound) return;
    pars.InstallFolder = DefaultInstallFolder;
    try {
        TRegistry registry;
        registry.SetRootKey(RootKey::LocalMachine);
        if (registry.OpenKey(regnames::CurrentVersionKey, false) &&
            registry.ValueExists(regnames::ProgramFilesDirValue))
            pars.InstallFolder =
                JoinPath(registry.ReadString(regnames::ProgramFilesDirValue), "Lingora");
    } catch (const std::exception& error) {
        report(error);
    }
    pars.ProgramFolder = DefaultProgramFolder;
}

std::string ProgramsFolder() {
    return Shell().GetSpecialFolderPath(win::CSIDL_PROGRAMS).value_or("");
}

bool IsDrivePath(const std::string& path) {
    return path.size() >= 3 &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
           path[1] == ':' && path[2] == '\\';
}

namespace {

// Windows' MAX_PATH: 259 characters and the terminating null.
constexpr std::size_t kMostPathLength = 259;

}  // namespace

std::string InstallFolderLimitRefusal(const std::string& folder, int longestName) {
    const std::string full = TrimTrailingBackslash(Files().GetFullPathName(folder));
    if (full.size() <= 3 && IsDrivePath(full))
        return "The installation folder " + full +
               " is the root of a drive; Lingora is installed into a folder of its own.";
    const std::size_t longest = std::max<std::size_t>(
        std::string(LogFileName).size(), static_cast<std::size_t>(std::max(longestName, 0)));
    const std::size_t length = full.size() + 1 + longest;
    if (length <= kMostPathLength) return {};
    return "The installation folder " + full + " is too long: with Lingora's longest file name (" +
           std::to_string(longest) + " characters) a path in it would have " +
           std::to_string(length) + " characters, more than the " +
           std::to_string(kMostPathLength) + " that Windows allows. Choose a shorter folder.";
}

std::string ProgramFolderLimitRefusal(const std::string& programFolder) {
    std::size_t longest = 0;
    for (const ShortcutRow& row : ShortcutRows())
        longest = std::max(longest, std::string(row.file).size());
    const std::string folder = JoinPath(ProgramsFolder(), programFolder);
    const std::size_t length = folder.size() + 1 + longest;
    if (length <= kMostPathLength) return {};
    return "The Start-menu folder \"" + programFolder +
           "\" is too long: with the longest shortcut's name (" + std::to_string(longest) +
           " characters) a shortcut's path in it would have " + std::to_string(length) +
           " characters, more than the " + std::to_string(kMostPathLength) +
           " that Windows allows. Choose a shorter name.";
}

std::optional<std::string> AcceptInstallFolder(const std::string& typed) {
    if (!IsDrivePath(typed) || !ProbeFolder(typed)) return std::nullopt;
    return TrimTrailingBackslash(Files().GetFullPathName(typed));
}

std::optional<std::string> AcceptProgramFolder(const std::string& typed) {
    if (!IsContainedRelativePath(typed)) return std::nullopt;
    if (!ProbeFolder(JoinPath(ProgramsFolder(), typed))) return std::nullopt;
    return TrimTrailingBackslash(typed);
}

std::string InstallationRefusedReason(const TInstallationPars* pars, bool removal) {
    const std::string refused = Registry().ChangesRefusedReason();
    if (!refused.empty() || pars == nullptr) return refused;
    if (!removal) {
        if (std::string limit =
                InstallFolderLimitRefusal(pars->InstallFolder, pars->LongestStoredName);
            !limit.empty())
            return limit;
        if (std::string limit = ProgramFolderLimitRefusal(pars->ProgramFolder); !limit.empty())
            return limit;
    }
    const std::string programs = ProgramsFolder();
    const std::string folders[] = {
        removal ? pars->PreviousInstallFolder : pars->InstallFolder,
        programs.empty()
            ? std::string()
            : JoinPath(programs, removal ? pars->PreviousProgramFolder : pars->ProgramFolder)};
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        if (std::string refusal = FolderWriteRefusal(folder); !refusal.empty()) return refusal;
    }
    return {};
}

void InstallRunLock(IRunLock* lock) { runLock = lock; }

TInstallResult RunInstallation(const TInstallationPars& pars, const TCopyFiles& copyFiles,
                               const TWarn& warn) {
    const RunLockScope locked;
    const diag::Stage run("installation");
    diag::Note("installing into ", pars.InstallFolder, " with the Start-menu folder ",
               pars.ProgramFolder);
    // Nothing is removed or copied while the machine's registry cannot take the
    // entries that end the installation.
    const std::string refused = InstallationRefusedReason(&pars);
    if (!refused.empty()) {
        diag::Note("refused: ", refused);
        throw Exception(refused);
    }

    locked.Check();
    changesBegan = true;
    const DesktopDatabasesUpdate update;
    if (pars.PreviousInstallFound) {
        const TRemovalOutcome removed = RemovePreviousWithDesktopEntries(pars, warn, false);
        if (removed.NotOurs > 0)
            warn(std::to_string(removed.NotOurs) +
                 " of the files that the earlier installation's log names lie behind a link or "
                 "outside its folders and were left alone, the first " +
                 removed.FirstNotOurs);
    }
    // A folder that cannot be made is reported by the log's creation just below,
    // with the system's reason.
    locked.Check();
    [[maybe_unused]] const bool folderMade =
        Files().MakeSureDirectoryPathExists(JoinPath(pars.InstallFolder, LogFileName));

    auto log = std::make_unique<TLogFile>(pars.InstallFolder, pars.ProgramFolder);
    diag::Note("wrote file ", JoinPath(pars.InstallFolder, LogFileName), " (its header)");
    int copied = 0;
    {
        const diag::Stage stage("copying");
        copied = copyFiles(*log, pars.InstallFolder);
    }
    if (copied != CopyDone) {
        diag::Note("the copying was abandoned; the files copied so far stay");
        log->Close();
        return TInstallResult::Abandoned;
    }
    locked.Check();
    std::vector<std::string> missing;
    {
        const diag::Stage stage("shortcuts");
        missing = CreateShortcuts(pars.InstallFolder, pars.ProgramFolder, *log);
    }
    log->Close();
    log.reset();
    diag::Note("closed ", JoinPath(pars.InstallFolder, LogFileName));
    locked.Check();
    {
        const diag::Stage stage("registry entries");
        WriteRegistryEntries(pars.InstallFolder);
    }
    {
        const diag::Stage stage("desktop entries");
        Warn(warn, CreateDesktopEntries(pars.InstallFolder, pars.ProgramFolder, missing));
    }
    if (missing.empty()) return TInstallResult::Installed;
    std::string names;
    for (const std::string& name : missing) names += (names.empty() ? "\"" : ", \"") + name + "\"";
    warn("The shortcut" + std::string(missing.size() == 1 ? " " : "s ") + names +
         " could not be made in the Start-menu folder " +
         JoinPath(ProgramsFolder(), pars.ProgramFolder) + "; Lingora is installed without " +
         (missing.size() == 1 ? "it." : "them."));
    return TInstallResult::ShortcutsMissing;
}

bool MachineChangesBegan() { return changesBegan; }

bool ReadInstallationAt(const std::string& folder, TInstallationPars& pars) {
    const std::string logName = JoinPath(folder, LogFileName);
    if (!Files().FileExists(logName)) return false;
    const TInstallLog log = ReadInstallLog(logName);
    if (!log.HasProgramFolder) return false;
    pars.PreviousInstallFolder = TrimTrailingBackslash(folder);
    pars.PreviousProgramFolder = log.ProgramFolder;
    pars.PreviousInstallFound = true;
    return true;
}

TRemovalResult RemoveInstallation(const TInstallationPars& pars, const TWarn& warn,
                                  bool removeEntries) {
    const RunLockScope locked;
    const diag::Stage run("removal");
    const std::string refused = InstallationRefusedReason(&pars, true);
    if (!refused.empty()) throw Exception(refused);
    locked.Check();
    changesBegan = true;
    const DesktopDatabasesUpdate update;
    const TRemovalResult result = RemovePreviousWithDesktopEntries(pars, warn, true);
    // The entries go last, after everything they name.
    locked.Check();
    if (result.Remaining == 0 && !result.Stopped) {
        diag::Note("decision: nothing that the log names remains",
                   removeEntries ? "; the uninstall entry and the file type go"
                                 : "; the uninstall entry names another folder and stays");
        if (removeEntries) RemoveRegistryEntries();
    } else {
        diag::Note("decision: ", result.Remaining, " of what the log names remain, the first ",
                   result.FirstRemaining, "; the log and the entries stay");
    }
    return result;
}
