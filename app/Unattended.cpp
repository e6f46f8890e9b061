#include "app/Unattended.h"

#include <chrono>
#include <csignal>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>

#include "app/SignalPolicy.h"
#include "dialogs/Unit_Constants.h"
#include "extract/CopyingScope.h"
#include "extract/Unit_ExtractForm.h"
#include "extract/Unit_ExtractThread.h"
#include "install/Unit_Installation.h"
#include "installlog/Unit_Logfile.h"
#include "installlog/Unit_Paths.h"
#include "platform/CodePage.h"
#include "platform/DiagnosticLog.h"
#include "platform/ExitCodes.h"
#include "platform/Platform.h"
#include "platform/WinTypes.h"
#include "platform/WindowsNames.h"
#include "volumes/DiskSearch.h"
#include "volumes/Unit_DataFile.h"
#include "volumes/VolumeDigest.h"

namespace {

// Wizard texts break lines with CR; a message on standard error is one line.
std::string OneLine(std::string text) {
    std::string line;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() != ' ') line += ' ';
        } else {
            line += c;
        }
    }
    while (line.find("  ") != std::string::npos) line.erase(line.find("  "), 1);
    return line;
}

// An error's text as the start of a sentence that goes on, on one line: a line
// that ends without a full stop leads into the next ("Stream write error: There
// is not enough space on the disk. (C:\...)").
std::string Sentence(std::string text) {
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) {
        const bool ended = at > 0 && (text[at - 1] == '.' || text[at - 1] == ':');
        text.replace(at, 1, ended ? " " : ": ");
    }
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
    return text + ".";
}

// Messages are built in the ANSI code page of the texts and the Windows paths,
// and written in UTF-8, as the terminal shows them.
void Say(std::FILE* out, const std::string& message) {
    diag::Note("said: ", message);
    std::fprintf(out, "lingora-setup: %s\n", AnsiToUtf8(message).c_str());
    std::fflush(out);
}

// "512 bytes", "12.3 KiB", "85.1 MiB", "1.0 GiB".
std::string Size(std::int64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " bytes";
    const char* units[] = {"KiB", "MiB", "GiB"};
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 2) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

// The copying's view on standard error: a line that redraws in place on a
// terminal, a line per volume otherwise, nothing but errors when quiet. A
// missing disk cannot be asked for, nor a damaged one asked for again: it is
// noted and the copying abandoned.
class ConsoleView : public IExtractView {
  public:
    ConsoleView(std::FILE* out, bool terminal, bool quiet)
        : out_(out), terminal_(terminal), quiet_(quiet), start_(Clock::now()) {}

    void StepProgress() override {
        if (quiet_) return;
        if (terminal_) {
            std::fprintf(out_, "\r\033[K%s", AnsiToUtf8(Line()).c_str());
            std::fflush(out_);
            drawn_ = true;
            return;
        }
        const std::string volume = DataFile ? DataFile->FileName() : std::string();
        if (volume != lastVolume_) {
            lastVolume_ = volume;
            std::fprintf(out_, "%s: %s\n", volume.c_str(), AnsiToUtf8(Line()).c_str());
            std::fflush(out_);
        }
    }
    bool AskForDisk(const std::string&) override {
        missingVolume_ = "Setup." + VolumeSuffix;
        missingDisk_ = NextDisk;
        return true;
    }
    bool AskForDamagedDisk(const std::string& text) override {
        damagedText_ = text;
        return true;
    }
    bool ConfirmAbandon() override { return true; }
    bool Stopping() override { return ExtractStopRequested && ExtractStopRequested(); }
    void Finish(int modalResult) override {
        result_ = modalResult;
        if (quiet_ || !terminal_ || !drawn_) return;
        std::fprintf(out_, "\r\033[K%s\n", AnsiToUtf8(Line()).c_str());
        std::fflush(out_);
    }

    int Result() const { return result_; }
    const std::string& MissingVolume() const { return missingVolume_; }
    int MissingDisk() const { return missingDisk_; }
    // The damaged-disk prompt's text when a volume failed its check, else empty.
    const std::string& DamagedText() const { return damagedText_; }

  private:
    using Clock = std::chrono::steady_clock;

    // "42%  12.3 MiB of 29.4 MiB  Data\Large3.bin  85.1 MiB/s"
    std::string Line() const {
        const std::int64_t total = TotalSize;
        const std::int64_t done = std::min<std::int64_t>(CopiedSize, total);
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        char line[160];
        std::snprintf(line, sizeof line, "%3d%%  %s of %s  ", percent, Size(done).c_str(),
                      Size(total).c_str());
        std::string text = line;
        std::string name = OutFileName;
        if (name.size() > 40) name = "..." + name.substr(name.size() - 37);
        text += name;
        if (seconds > 0) text += "  " + Size(static_cast<std::int64_t>(done / seconds)) + "/s";
        return text;
    }

    std::FILE* out_;
    bool terminal_;
    bool quiet_;
    Clock::time_point start_;
    bool drawn_ = false;
    std::string lastVolume_;
    int result_ = 0;
    std::string missingVolume_;
    std::string damagedText_;
    int missingDisk_ = 0;
};

// A host folder for a message: readable (control characters and bytes that
// are not UTF-8 escaped), in the ANSI code page, with '?' for what that cannot
// hold.
std::string HostFolderText(const std::string& folder) {
    return Utf8ToAnsiForMessage(disks::ReadableFolder(folder));
}

// Where the search looked for a disk, in the ANSI code page of the message.
std::string SearchedText(int number) { return Utf8ToAnsiForMessage(DiskSearch().Searched(number)); }

// The signals that end a session, asked for by a run between two of its
// steps while this object lives.
class StopOnSignals {
  public:
    // True once a signal came (the first one is kept).
    bool Requested() {
        if (by_ == 0) by_ = pipe_.Take();
        return by_ != 0;
    }
    // The signal that stopped the run; 0 when none did.
    int By() const { return by_; }

  private:
    StopSignals pipe_;
    int by_ = 0;
};

// This version stands complete in the folders of pars: the uninstall entry
// names the installation folder, and its Install.log the same Start-menu
// folder and its shortcuts (which it lists only after every file was copied).
bool IsInstalledAsIs(const TInstallationPars& pars) {
    if (!pars.PreviousInstallFound ||
        !SameNameIgnoringCase(pars.PreviousInstallFolder, pars.InstallFolder) ||
        !SameNameIgnoringCase(pars.PreviousProgramFolder, pars.ProgramFolder))
        return false;
    try {
        return !ReadInstallLog(JoinPath(pars.InstallFolder, LogFileName))
                    .ProgramFolderFiles.empty();
    } catch (const std::exception&) {
        return false;
    }
}

// Refuses an installation that cannot go on without the person's word: the
// licence not accepted, version 1.0 installed. Fills pars with the start's state.
std::optional<int> RefusedAtStart(const TUnattendedOptions& options, TInstallationPars& pars,
                                  std::FILE* out) {
    if (!options.AcceptLicence) {
        Say(out,
            "the licence agreement must be accepted with --accept-licence before Setup "
            "installs; 'lingora-setup --licence' prints it. Nothing was changed.");
        return ExitRefused;
    }
    TOldVersion oldVersion;
    ReadStartState(pars, oldVersion, [out](const std::exception& error) {
        Say(out, std::string(error.what()) + " (the defaults are used)");
    });
    if (oldVersion.Found && !options.KeepVersion1) {
        Say(out,
            "Setup has found Lingora version 1.0 on your computer. Uninstall it first with "
            "its own uninstaller (" +
                oldVersion.UninstallCommand + "), or give --keep-version-1 to install version " +
                VersionText + " beside it. Nothing was changed.");
        return ExitRefused;
    }
    return std::nullopt;
}

// The folders of the options, else the start's, as the wizard's folder pages
// accept them; the exit code when one is refused.
std::optional<int> ChooseFolders(const TUnattendedOptions& options, TInstallationPars& pars,
                                 std::FILE* out) {
    if (!options.Dir.empty()) pars.InstallFolder = options.Dir;
    if (options.GroupGiven) pars.ProgramFolder = options.Group;
    const std::optional<std::string> installFolder = AcceptInstallFolder(pars.InstallFolder);
    if (!installFolder) {
        Say(out, OneLine(FolderErrorText) + " (installation folder: " + pars.InstallFolder + ")");
        return ExitRefused;
    }
    const std::optional<std::string> programFolder = AcceptProgramFolder(pars.ProgramFolder);
    if (!programFolder) {
        Say(out, OneLine(FolderErrorText) + " (Start-menu folder: " + pars.ProgramFolder + ")");
        return ExitRefused;
    }
    pars.InstallFolder = *installFolder;
    pars.ProgramFolder = *programFolder;
    return std::nullopt;
}

// Nothing to do (--unless-installed and this version in these folders), or a
// machine that refuses the installation: the exit code; nothing when it may go on.
std::optional<int> DoneOrRefusedBeforeTheSet(const TUnattendedOptions& options,
                                             TInstallationPars& pars, std::FILE* out) {
    if (options.UnlessInstalled && IsInstalledAsIs(pars)) {
        diag::Note("decision: already installed in these folders; nothing to do");
        if (!options.Quiet)
            Say(out, "Lingora " + std::string(VersionText) + " is already installed in " +
                         pars.InstallFolder + ", with its shortcuts in the Start menu's folder \"" +
                         pars.ProgramFolder + "\". Nothing was changed.");
        return ExitDone;
    }
    const std::string refused = InstallationRefusedReason(&pars);
    if (!refused.empty()) {
        Say(out, Sentence(refused) + " Nothing was changed.");
        return ExitRefused;
    }
    return std::nullopt;
}

// Disk 1 from the sources; the exit code when it is not found (or a signal
// stopped the search).
std::optional<int> FindDiskOne(const TUnattendedOptions& options, StopOnSignals& stop,
                               std::string& firstDisk, std::FILE* out) {
    const std::optional<std::string> found = FindFirstDisk(options.Sources);
    if (found) {
        firstDisk = *found;
        return std::nullopt;
    }
    if (stop.Requested()) {
        Say(out, "Setup was stopped by " + SignalPipe::Name(stop.By()) +
                     " while it looked for disk 1. Nothing was changed.");
        return ExitFailedPartWay;
    }
    Say(out, volume::VolumeName(1) + " (disk 1) is not in " + SearchedText(1) +
                 ". Name the folder of the volumes with --source. Nothing was changed.");
    return ExitVolumeMissing;
}

// What the digest file beside disk 1 tells already, and the set's longest
// name against the installation folder, checked before the earlier
// installation is touched; the exit code when the set is refused.
std::optional<int> CheckTheSet(const std::string& firstDisk, TInstallationPars& pars,
                               std::FILE* out) {
    try {
        const std::string fault = volume::EarlySetFault(firstDisk);
        pars.LongestStoredName = volume::LongestStoredName(firstDisk);
        diag::Note("disk 1 in ", diag::Host{firstDisk}, ": first check of the set ",
                   fault.empty() ? "passed" : "failed: ", fault);
        if (!fault.empty()) {
            Say(out,
                Sentence(fault) + " (in " + HostFolderText(firstDisk) + ") Nothing was changed.");
            return ExitVolumeMissing;
        }
    } catch (const std::exception& failure) {
        diag::Failure(failure, "the check of the digest file");
        Say(out, Sentence(failure.what()) + " (in " + HostFolderText(firstDisk) +
                     ") Nothing was changed.");
        return ExitVolumeMissing;
    }
    if (const std::string limit =
            InstallFolderLimitRefusal(pars.InstallFolder, pars.LongestStoredName);
        !limit.empty()) {
        Say(out, limit + " Nothing was changed.");
        return ExitRefused;
    }
    return std::nullopt;
}

// The files copied so far stay: where they are, for a message's end.
std::string CopiedSoFar(const TInstallationPars& pars) {
    return " The files copied so far stay in " + pars.InstallFolder +
           " and its Install.log lists them.";
}

// An abandoned copying, said with its cause: a signal, a damaged disk, a
// missing disk. The exit code.
int ReportAbandoned(const ConsoleView& view, const StopOnSignals& stop,
                    const TInstallationPars& pars, std::FILE* out) {
    if (stop.By() != 0) {
        Say(out, StoppedCopyingText(stop.By(), pars.InstallFolder));
        return ExitFailedPartWay;
    }
    if (!view.DamagedText().empty()) {
        Say(out, OneLine(view.DamagedText()) + " " + volume::VolumeName(VolumeNumber) + " in " +
                     HostFolderText(VolumeFolder) + ": " + Sentence(VolumeFault) +
                     CopiedSoFar(pars));
        return ExitVolumeMissing;
    }
    if (!view.MissingVolume().empty()) {
        Say(out, view.MissingVolume() + " (disk " + std::to_string(view.MissingDisk()) +
                     ") is not in " + SearchedText(view.MissingDisk()) + ". Mount disk " +
                     std::to_string(view.MissingDisk()) +
                     ", or name its folder with a further --source." + CopiedSoFar(pars));
        return ExitVolumeMissing;
    }
    Say(out,
        "the copying was abandoned; the files copied so far stay in " + pars.InstallFolder + ".");
    return ExitFailedPartWay;
}

// The end of a run that did not fail, said as it ended; the exit code.
int ReportInstallation(TInstallResult result, const ConsoleView& view, StopOnSignals& stop,
                       const TInstallationPars& pars, const TUnattendedOptions& options,
                       std::FILE* out) {
    // A signal after the copying: the shortcuts and the entries, short steps
    // that make the installation whole and removable, were finished first.
    if (result == TInstallResult::Installed && stop.Requested()) {
        Say(out, "Setup was stopped by " + SignalPipe::Name(stop.By()) +
                     " after the copying; it finished the shortcuts and the registry entries "
                     "first, so Lingora " +
                     VersionText + " is installed in " + pars.InstallFolder +
                     " and can be removed with 'lingora-setup --uninstall'.");
        return ExitFailedPartWay;
    }
    if (result == TInstallResult::Abandoned) return ReportAbandoned(view, stop, pars, out);
    if (result == TInstallResult::ShortcutsMissing) {
        Say(out, "Lingora " + std::string(VersionText) + " is installed in " + pars.InstallFolder +
                     ", but not all of its shortcuts (see above).");
        return ExitFailedPartWay;
    }
    if (!options.Quiet)
        Say(out, "Lingora " + std::string(VersionText) + " is installed in " + pars.InstallFolder +
                     ", with its shortcuts in the Start menu's folder \"" + pars.ProgramFolder +
                     "\".");
    if (options.Restart && !WindowServices().ExitWindowsEx(win::EWX_REBOOT))
        Say(out, "Wine could not be asked to restart (wineboot is not installed).");
    return ExitDone;
}

}  // namespace

int InstallUnattended(const TUnattendedOptions& options, std::FILE* out) {
    TInstallationPars pars;
    if (const auto refused = RefusedAtStart(options, pars, out)) return *refused;
    if (const auto refused = ChooseFolders(options, pars, out)) return *refused;
    if (const auto ended = DoneOrRefusedBeforeTheSet(options, pars, out)) return *ended;
    // From here on a signal that ends the session stops the search and the
    // copying between two steps, as Cancel does, and the log is closed with
    // what it lists.
    StopOnSignals stop;
    TCopyingScope stopping;
    stopping.Stop([&stop] { return stop.Requested(); });
    std::string firstDisk;
    if (const auto missing = FindDiskOne(options, stop, firstDisk, out)) return *missing;
    if (const auto refused = CheckTheSet(firstDisk, pars, out)) return *refused;

    ConsoleView view(out, options.Terminal, options.Quiet);
    TInstallResult result;
    try {
        result = RunInstallation(
            pars,
            [&](TLogFile& log, const std::string& folder) {
                TCopyingScope copying;
                copying.Into(log, folder).From(options.Sources).FirstDisk(firstDisk).View(&view);
                TExtractThread copyingThread;
                copyingThread.Execute();  // here, on this thread: no window to hand steps to
                return view.Result();
            },
            [out](const std::string& warning) { Say(out, "warning: " + warning); });
    } catch (const std::exception& failure) {
        diag::Failure(failure, "the installation");
        Say(out, Sentence(failure.what()) + " Setup stopped; the files copied so far stay in " +
                     pars.InstallFolder + " and its Install.log lists them.");
        return ExitFailedPartWay;
    }
    return ReportInstallation(result, view, stop, pars, options, out);
}

namespace {

// The installation to remove: the one that the prefix's uninstall entry names,
// or, with dir, the one that dir's Install.log records (removeEntries then says
// whether the uninstall entry is that one's). The exit code of a refusal.
std::optional<int> FindInstallationToRemove(const std::string& dir, TInstallationPars& pars,
                                            bool& removeEntries, std::FILE* out) {
    TOldVersion oldVersion;
    bool unreadable = false;
    ReadStartState(pars, oldVersion, [out, &unreadable](const std::exception& error) {
        Say(out, error.what());
        unreadable = true;
    });
    // The uninstall entry is this installation's only when it names this folder.
    if (!dir.empty()) {
        const std::string folder = TrimTrailingBackslash(Files().GetFullPathName(dir));
        removeEntries =
            !pars.PreviousInstallFound || SameNameIgnoringCase(pars.PreviousInstallFolder, folder);
        try {
            pars = TInstallationPars{};
            if (!ReadInstallationAt(folder, pars)) {
                Say(out, "there is no installation of Lingora " + std::string(VersionText) +
                             " in " + folder + ": it holds no " + LogFileName +
                             " that names one. Nothing was changed.");
                return ExitRefused;
            }
        } catch (const std::exception& error) {
            Say(out, Sentence(error.what()) + " Nothing was changed.");
            return ExitRefused;
        }
        oldVersion = {};
    }
    // Version 1.0 keeps no record of this kind: its own uninstaller removes it.
    if (!pars.PreviousInstallFound && oldVersion.Found) {
        Say(out,
            "the installation in this Wine prefix is Lingora version 1.0; remove it with its "
            "own uninstaller (" +
                oldVersion.UninstallCommand + "). Nothing was changed.");
        return ExitRefused;
    }
    if (!pars.PreviousInstallFound) {
        Say(out, std::string(unreadable ? "its installation record cannot be read, so " : "") +
                     "Lingora " + VersionText +
                     " is not installed in this Wine prefix. Nothing was changed.");
        return ExitRefused;
    }
    return std::nullopt;
}

// What the removal left of what the log names, as a sentence with its full
// stop and a space; empty when nothing remains.
std::string RemainsText(const TRemovalResult& removal) {
    if (removal.Remaining == 0) return {};
    return std::to_string(removal.Remaining) + " of the files and folders that its " + LogFileName +
           " names remain, the first " + removal.FirstRemaining +
           (removal.NotOurs == 0 ? std::string()
                                 : "; " + std::to_string(removal.NotOurs) +
                                       " of them lie behind a link or outside the installation's "
                                       "folders, which Setup never follows, the first " +
                                       removal.FirstNotOurs) +
           ". ";
}

// The end of a removal that did not fail, said as it ended; the exit code.
int ReportRemoval(const TRemovalResult& removal, const StopOnSignals& stop,
                  const TInstallationPars& pars, bool quiet, std::FILE* out) {
    const std::string remains = RemainsText(removal);
    if (removal.Stopped) {
        Say(out, "Setup was stopped by " + SignalPipe::Name(stop.By()) +
                     " during the removal of Lingora " + VersionText + " from " +
                     pars.PreviousInstallFolder + ". " + remains + "Its " + LogFileName +
                     " and uninstall entry stay, so that 'lingora-setup --uninstall' can "
                     "finish the removal.");
        return ExitFailedPartWay;
    }
    if (removal.Remaining > 0) {
        Say(out, "Lingora " + std::string(VersionText) + " could not be removed completely: " +
                     remains + "They stay recorded, so that the removal can be run again.");
        return ExitFailedPartWay;
    }
    if (!quiet)
        Say(out, "Lingora " + std::string(VersionText) + " is removed from " +
                     pars.PreviousInstallFolder + ".");
    return ExitDone;
}

// The removal's stop predicate for as long as this lives: the signals.
class RemovalStopScope {
  public:
    explicit RemovalStopScope(StopOnSignals& stop) {
        RemovalStopRequested = [&stop] { return stop.Requested(); };
    }
    ~RemovalStopScope() { RemovalStopRequested = nullptr; }
    RemovalStopScope(const RemovalStopScope&) = delete;
    RemovalStopScope& operator=(const RemovalStopScope&) = delete;
};

}  // namespace

int UninstallUnattended(bool quiet, std::FILE* out, const std::string& dir) {
    // A registry that cannot be changed is named as the installation names it,
    // before it could be mistaken for one without an installation.
    const std::string refused = InstallationRefusedReason();
    if (!refused.empty()) {
        Say(out, Sentence(refused) + " Nothing was changed.");
        return ExitRefused;
    }
    TInstallationPars pars;
    bool removeEntries = true;
    if (const auto notFound = FindInstallationToRemove(dir, pars, removeEntries, out))
        return *notFound;
    if (const std::string cannot = InstallationRefusedReason(&pars, true); !cannot.empty()) {
        Say(out, Sentence(cannot) + " Nothing was changed.");
        return ExitRefused;
    }
    TRemovalResult removal;
    // A signal that ends the session stops the removal between two entries; the
    // log and the uninstall entry stay, so that a second run finishes the job.
    StopOnSignals stop;
    const RemovalStopScope stopping(stop);
    try {
        removal = RemoveInstallation(
            pars, [out](const std::string& warning) { Say(out, "warning: " + warning); },
            removeEntries);
    } catch (const std::exception& failure) {
        diag::Failure(failure, "the removal");
        Say(out, Sentence(failure.what()) + " Setup stopped part-way through the removal of " +
                     pars.PreviousInstallFolder + ".");
        return ExitFailedPartWay;
    }
    return ReportRemoval(removal, stop, pars, quiet, out);
}
