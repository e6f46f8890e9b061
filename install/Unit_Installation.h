// The installation as the wizard's confirmation page and the unattended mode
// both run it, and the removal from the command line: the state at start, the
// rules of the folder pages, the run itself. No windows: the caller shows the
// copying (the progress window, or progress on standard error).
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "installlog/Unit_Uninstall.h"

class TLogFile;

// The installation's state, as the wizard's pages and the command line fill it
// in (the wizard keeps its current page on top of it, in TInstallationPars).
struct TInstallationPars {
    std::string InstallFolder;          // without trailing backslash (drive roots keep theirs)
    std::string ProgramFolder;          // relative to the user's Programs folder
    std::string PreviousInstallFolder;  // from the uninstall entry of an earlier installation
    std::string PreviousProgramFolder;  // from that installation's Install.log
    bool PreviousInstallFound = false;  // its Install.log named a Start-menu folder
    bool NoExitConfirmation = false;    // closing the wizard asks nothing
    bool FailedPartWay = false;  // the last run failed after it had begun changing the machine
    int LongestStoredName = 0;   // of the set to be copied (volume::LongestStoredName); 0 unknown
    // The folders of the volumes (absolute host paths), resolved once from the
    // program's arguments; empty: the current folder.
    std::vector<std::string> Sources;
};

// An installed version 1.0, found at start.
struct TOldVersion {
    bool Found = false;
    std::string UninstallCommand;  // its uninstall command line
};

// Fills the folders of the state as the wizard starts: an earlier installation's
// folders when its uninstall entry and its Install.log name them, else
// "ProgramFilesDir"\Lingora (or C:\Program Files\Lingora) and "Lingora". An
// error while reading goes to report and the defaults stand; so the wizard shows
// it and still starts.
void ReadStartState(TInstallationPars& pars, TOldVersion& oldVersion,
                    const std::function<void(const std::exception&)>& report);

// The user's Programs folder; "" when the machine names none.
std::string ProgramsFolder();

// True when the path starts at a drive's root ("C:\..."): the only form an
// installation folder may have, as a relative one would be taken from wherever
// Setup happens to run.
bool IsDrivePath(const std::string& path);

// The installation folder as typed, accepted when it is a drive path and exists
// or can be created with its parents (the probe removes what it made): its full
// path without a trailing backslash. Nothing when it cannot be created.
std::optional<std::string> AcceptInstallFolder(const std::string& typed);

// Why an installation folder cannot hold the set's files, whose longest stored
// name has longestName characters (0: unknown, the log's own name counts), or
// a drive root: the message naming the limit, "" when it can.
std::string InstallFolderLimitRefusal(const std::string& folder, int longestName);
// Why the Start-menu folder (below the Programs folder) cannot hold the
// longest shortcut's name: the message naming the limit, "" when it can.
std::string ProgramFolderLimitRefusal(const std::string& programFolder);

// The Start-menu folder as typed, accepted when it stays inside the Programs
// folder (the removal would skip it otherwise) and can be created there: the
// name without a trailing backslash. Nothing otherwise.
std::optional<std::string> AcceptProgramFolder(const std::string& typed);

// Why the installation may not start (Wine running on the prefix, a damaged
// registry file, one that cannot be replaced); "" when it may. With pars, also
// the folders' limits (for a run), and
// whether the folders that the run writes can be written: the installation
// folder and the Start-menu folder (for a run), or the earlier installation's
// (for a removal), each probed with a file made and deleted again in it or in
// its deepest existing parent.
std::string InstallationRefusedReason(const TInstallationPars* pars = nullptr,
                                      bool removal = false);

// The lock that keeps a second Setup off the prefix while one runs, installed by
// the program: Take gives "" when the run may go on, else the sentence that
// refuses it; each Take is matched by a Release. Without one (tests) runs are
// not locked.
class IRunLock {
  public:
    virtual ~IRunLock() = default;
    virtual std::string Take() = 0;
    virtual void Release() = 0;
    // While taken: "" when the prefix is still the one locked, else the
    // sentence that stops the run. Asked before each step that writes.
    virtual std::string Lost() { return {}; }
};
void InstallRunLock(IRunLock* lock);

// Copies the files with the log open in the installation folder; returns
// CopyDone when every file was copied, anything else when the copying was
// abandoned.
using TCopyFiles = std::function<int(TLogFile& log, const std::string& installFolder)>;

// ShortcutsMissing: everything is installed but some shortcuts, which could
// not be saved; the warning names them.
enum class TInstallResult { Installed, ShortcutsMissing, Abandoned };

// Receives what went wrong without failing the run (the Linux desktop's entries).
using TWarn = std::function<void(const std::string& warning)>;

// The installation run, holding the run lock throughout (refused with an
// Exception when another Setup holds it), in this order: nothing at all while the registry refuses
// changes (Exception with the reason); the removal of the earlier installation
// with its desktop entries; the installation folder; the log; the copying; then,
// when every file was copied, the shortcuts, the log's end, the registry entries
// and the desktop entries. An abandoned copying closes the log and leaves the
// files copied so far. Errors are raised as they come; the steps after a failed
// one are not done.
TInstallResult RunInstallation(const TInstallationPars& pars, const TCopyFiles& copyFiles,
                               const TWarn& warn);

// Whether a run (installation or removal) of this process has passed its
// checks and begun to change the machine: a program that ends with it false
// changed nothing.
bool MachineChangesBegan();

// The installation recorded by the Install.log in folder, as the removal takes
// it, whether or not an uninstall entry names it: true, with the previous
// folders of pars filled in, when that log names a Start-menu folder.
bool ReadInstallationAt(const std::string& folder, TInstallationPars& pars);

// What a removal left of what the log names: files that are still there
// (also those behind a link, which are not Setup's to remove), and folders
// that are still there though nothing is in them. Files the user added stay by
// design, and so do the folders that hold them.
using TRemovalResult = TRemovalOutcome;

// Removes the installation recorded in pars (PreviousInstallFound): the same
// removal as before a new copy, with the desktop entries, stopping between
// entries when RemovalStopRequested says so. Only when nothing remains are the
// log, then (with removeEntries) the uninstall entry and the file type removed,
// after everything they name, so that a removal that could not finish can be
// run again.
TRemovalResult RemoveInstallation(const TInstallationPars& pars, const TWarn& warn,
                                  bool removeEntries = true);
