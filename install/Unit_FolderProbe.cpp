#include "install/Unit_FolderProbe.h"

#include <memory>

#include "installlog/Unit_Paths.h"
#include "installlog/Unit_Uninstall.h"
#include "platform/Platform.h"
#include "platform/SystemMessages.h"
#include "platform/WinTypes.h"

TFolderSplit SplitExistingFolder(const std::string& path) {
    TFolderSplit split{path, ""};
    while (!split.Existing.empty() && !FolderExists(split.Existing)) {
        const std::size_t last = split.Existing.rfind('\\');
        const std::string name =
            last == std::string::npos ? split.Existing : split.Existing.substr(last + 1);
        split.Missing = JoinPath(name, split.Missing);
        split.Existing = last == std::string::npos ? "" : split.Existing.substr(0, last);
    }
    return split;
}

bool ProbeFolder(const std::string& path) {
    // An empty path names no folder (on Windows it cannot even be queried).
    if (path.empty()) return false;
    if (FolderExists(path)) return true;
    const TFolderSplit split = SplitExistingFolder(path);
    const bool created = Files().MakeSureDirectoryPathExists(path) &&
                         (Files().CreateDirectory(path) || FolderExists(path));
    // What the probe made goes again, and nothing else: a folder that stays
    // (not empty, or never made) keeps its parents, which are not empty either.
    if (!split.Existing.empty() && !split.Missing.empty()) {
        std::vector<std::string> made = EnclosingFolders(split.Missing);
        made.push_back(split.Missing);
        RemoveEmptyFolders(split.Existing, std::move(made));
    }
    return created;
}

std::string FolderWriteRefusal(const std::string& folder) {
    const TFolderSplit split = SplitExistingFolder(folder);
    if (split.Existing.empty()) return {};  // no drive: the folder pages' check says so
    // A name that is free: nothing of anyone's is emptied by the probe.
    std::string probe;
    for (int number = 0;
         probe.empty() || Files().GetFileAttributes(probe) != win::INVALID_FILE_ATTRIBUTES;
         ++number)
        probe = JoinPath(split.Existing, "~Setup" + std::to_string(number) + ".tmp");
    std::uint32_t error = 0;
    std::unique_ptr<IFileStream> file = Files().CreateAlways(probe, error);
    if (!file) {
        return "The folder " + split.Existing + " cannot be written to: " + SysErrorMessage(error);
    }
    file.reset();
    if (!Files().DeleteFile(probe))
        return "The folder " + split.Existing + " cannot be written to: Setup's test file " +
               probe + " cannot be removed from it again. Remove it, then try again.";
    return {};
}
