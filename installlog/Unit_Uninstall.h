// Removal of an earlier installation of this version before the new one is
// copied: the registry keys of the old layout, and the shortcuts and files that
// the old "Install.log" lists.
#pragma once

#include <functional>
#include <string>
#include <vector>

class TRegistry;

// Deletes the key (a path from the registry object's root key) when it has
// neither subkeys nor values. A key that cannot be opened is left alone.
void DeleteKeyIfEmpty(TRegistry& registry, const std::string& key);

// Deletes the key's default value, then the key itself when it is empty now.
void DeleteDefaultValueAndKeyIfEmpty(TRegistry& registry, const std::string& key);

// True when a log entry or Start-menu folder name stays below the folder that it
// is joined to: not absolute, no drive, no leading backslash, no ".." component.
// Slashes count as separators, as Windows takes them.
bool IsContainedRelativePath(const std::string& path);

// The folders of a relative path, innermost first: "A\\B\\x.lnk" gives "A\\B",
// then "A".
std::vector<std::string> EnclosingFolders(std::string relative);

// Removes each of the folders (relative paths below the existing folder base)
// that is empty, deepest first, so that a folder emptied by the removal of the
// one below it goes too; one that holds anything stays. No link below base is
// followed (Files().RemoveBelow). Calls stays(folder) for each folder that is
// there and could not be removed.
void RemoveEmptyFolders(const std::string& base, std::vector<std::string> folders,
                        const std::function<void(const std::string&)>& stays = {});

// What a removal left of what the log names.
struct TRemovalOutcome {
    int Remaining = 0;           // logged files, and emptied folders, still there
    std::string FirstRemaining;  // the first of them in the log's order (a full path)
    int NotOurs = 0;             // of them, those behind a link or outside their folder
    std::string FirstNotOurs;
    bool Stopped = false;  // RemovalStopRequested ended it between two entries
};

// Asked before each entry of the log is removed; true stops the removal there,
// leaving the log and the entries not reached. Unset, a removal runs to its end.
extern std::function<bool()> RemovalStopRequested;

// Removes the earlier installation whose log is JoinPath(oldInstallFolder,
// "Install.log") and whose shortcuts lie in JoinPath(Programs folder,
// oldStartMenuFolder):
//   1. HKLM "Software\Tarnwick\Lingora\1.0" if it is empty;
//   2. the old verb keys "Openen" and "Open" of HKCR "Lingora.Wordlist\Shell"
//      (their command's default value, then each key if empty);
//   3. every shortcut of the "{program folder files}" section;
//   4. every file of the "{program files}" section;
//   5. the folders that held them, deepest first, each if empty (for the
//      shortcuts up to the first level of the Start-menu folder);
//   6. the log itself, then the old installation folder if empty; with
//      keepLogUnlessComplete, only when nothing of 3 to 5 remains and the
//      removal was not stopped, so that it can be run again.
// Nothing outside the old installation folder and the Programs folder is
// touched, and no link below them is followed (Files().RemoveBelow): an entry
// that would leave its folder or lies behind a link is skipped and counted as
// remaining; a logged file that is a link goes as the link. The shortcut pass
// is skipped when the Programs folder is unknown.
//
// Raises EInOutError when the log cannot be opened or read (the registry steps
// have been done by then).
TRemovalOutcome RemovePreviousInstallation(const std::string& oldInstallFolder,
                                           const std::string& oldStartMenuFolder,
                                           bool keepLogUnlessComplete = false);
