// Removal of an earlier installation of this version before the new one is
// copied: the registry keys of the old layout, and the shortcuts and files that
// the old "Install.log" lists.
#pragma once

#include <string>

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

// Removes the earlier installation whose log is JoinPath(oldInstallFolder,
// "Install.log") and whose shortcuts lie in JoinPath(Programs folder,
// oldStartMenuFolder):
//   1. HKLM "Software\Tarnwick\Lingora\1.0" if it is empty;
//   2. the old verb keys "Openen" and "Open" of HKCR "Lingora.Wordlist\Shell"
//      (their command's default value, then each key if empty);
//   3. every shortcut of the "{program folder files}" section, then its folders
//      up to the first level of the Start-menu folder, each if empty;
//   4. every file of the "{program files}" section, then its folders if empty;
//   5. the log itself, then the old installation folder if empty.
// Failed deletions are ignored. Nothing outside the old installation folder and
// the Programs folder is touched: entries that would leave them are skipped,
// and so is the whole shortcut pass when the Start-menu folder would leave the
// Programs folder or the Programs folder is unknown.
//
// Raises EInOutError when the log cannot be opened or read (the registry steps
// have been done by then).
void RemovePreviousInstallation(const std::string& oldInstallFolder,
                                const std::string& oldStartMenuFolder);
