#include "system/Unit_Shortcuts.h"

#include <memory>

#include "installlog/Unit_Logfile.h"
#include "installlog/Unit_Paths.h"
#include "platform/DiagnosticLog.h"
#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/WinTypes.h"

namespace {

constexpr ShortcutRow Shortcuts[] = {
    {"Lingora.lnk", "Lingora.exe"},
    {"Lingora Help.lnk", "Lingohlp.hlp"},
    {"Uninstall Lingora.lnk", "Uninst.exe"},
};

// Without it the shortcut folder would be taken from the current directory
// (the folder of the data volumes): no shortcut is saved then.
std::string ProgramsFolder() {
    const std::string folder = Shell().GetSpecialFolderPath(win::CSIDL_PROGRAMS).value_or("");
    if (folder.empty()) throw Exception("The Programs folder of the Start menu cannot be found.");
    return folder;
}

}  // namespace

std::span<const ShortcutRow> ShortcutRows() { return Shortcuts; }

std::vector<std::string> CreateShortcuts(const std::string& installFolder,
                                         const std::string& startMenuFolder, TLogFile& log) {
    log.StartProgramFolderFiles();

    const std::string shortcutFolder = JoinPath(ProgramsFolder(), startMenuFolder);

    // One shell-link object serves all three shortcuts.
    std::unique_ptr<IShellLinkObject> object = Shell().CreateShellLink();
    IShellLink* link = object->QueryShellLink();
    if (link == nullptr) throw EIntfCastError();
    IPersistFile* persist = object->QueryPersistFile();
    if (persist == nullptr) throw EIntfCastError();

    std::vector<std::string> missing;
    for (const ShortcutRow& row : ShortcutRows()) {
        // The name is in the log before the file exists, so that a removal
        // always knows of every shortcut that may have been saved.
        log.WriteLine(row.file);
        const std::string linkFile = JoinPath(shortcutFolder, row.file);
        link->SetPath(JoinPath(installFolder, row.target));
        link->SetWorkingDirectory(installFolder);
        // A folder that cannot be made shows in the save; a shortcut that cannot
        // be saved is missing while its name stands in the log, which the
        // removal skips, and is named to the caller.
        [[maybe_unused]] const bool folderMade = Files().MakeSureDirectoryPathExists(linkFile);
        if (persist->Save(linkFile) != win::S_OK)
            missing.emplace_back(row.file);
        else
            diag::Note("shortcut made: ", linkFile, " -> ", JoinPath(installFolder, row.target));
    }
    return missing;
}
