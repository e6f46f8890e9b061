// The Start-menu shortcuts of the installed program: "Lingora.lnk", "Lingora
// Help.lnk" and "Uninstall Lingora.lnk" in the chosen folder below the user's
// Programs folder, each recorded in the install log before its file is saved.
#pragma once

#include <span>
#include <string>
#include <vector>

class TLogFile;

struct ShortcutRow {
    const char* file;    // the shortcut's file name in the Start-menu folder
    const char* target;  // the installed file it points at
};

// The shortcuts in the order of creation, which is also their order in the log.
std::span<const ShortcutRow> ShortcutRows();

// Writes the "{program folder files}" section of the log and saves the three
// shortcuts into JoinPath(Programs folder, startMenuFolder), creating the folders
// on the way. installFolder is the absolute installation folder (no trailing
// backslash except for a drive root); it is each link's working folder.
//
// Raises EOleSysError when the shell-link object cannot be created,
// EIntfCastError when it lacks one of its interfaces and EInOutError when the
// log cannot be written; the error ends the operation at once (shortcuts saved
// before stay). Returns the file names (as in ShortcutRows) of the shortcuts
// that could not be saved, whose names stand in the log all the same.
std::vector<std::string> CreateShortcuts(const std::string& installFolder,
                                         const std::string& startMenuFolder, TLogFile& log);
