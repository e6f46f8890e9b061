// The Linux desktop's view of the installation: an entry of the application
// menu for each Start-menu shortcut, and the ".wdl" type opening in Lingora,
// made after the shortcuts and the registry entries and removed with the
// installation. Nothing here fails the installation: what cannot be done comes
// back as a warning, and the Windows side stays complete. The install log does
// not list these files; they are found again from the Start-menu folder and the
// shortcut names that it does list.
#pragma once

#include <string>
#include <vector>

// Adds the menu entries of the shortcuts in startMenuFolder (their targets in
// installFolder) and the file type, unless the person switched them off.
// Returns "" when done, else the warning to show. The shortcuts named in
// missing (file names as in ShortcutRows) were not made and get no entry.
std::string CreateDesktopEntries(const std::string& installFolder,
                                 const std::string& startMenuFolder,
                                 const std::vector<std::string>& missing = {});

// Removes the menu entries of the shortcut files (names from the log's
// "{program folder files}", relative to startMenuFolder) and the file type.
// Names that would leave the Start-menu folder are skipped, as the removal of
// the shortcuts skips them. Returns "" when done, else the warning to show.
std::string RemoveDesktopEntries(const std::string& startMenuFolder,
                                 const std::vector<std::string>& shortcutFiles);

// Brings the desktop's databases up to date after entries were added or
// removed. Never fails: the desktop reads the entries at its next refresh.
void UpdateDesktopDatabases() noexcept;
