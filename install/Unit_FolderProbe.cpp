#include "install/Unit_FolderProbe.h"

#include "installlog/Unit_Paths.h"
#include "platform/Platform.h"

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

namespace {
// Removes JoinPath(existing, missing), then each of its parents up to the
// existing ancestor. A folder that cannot be removed (not empty, or never
// created) stays; its parents then stay too, as they are not empty either.
void RemoveCreatedFolders(const std::string& existing, std::string missing) {
    while (!missing.empty()) {
        Files().RemoveDirectory(JoinPath(existing, missing));
        const std::size_t last = missing.rfind('\\');
        missing = last == std::string::npos ? "" : missing.substr(0, last);
    }
}
}  // namespace

bool ProbeFolder(const std::string& path) {
    // An empty path names no folder (on Windows it cannot even be queried).
    if (path.empty()) return false;
    if (FolderExists(path)) return true;
    const TFolderSplit split = SplitExistingFolder(path);
    const bool created = Files().MakeSureDirectoryPathExists(path) &&
                         (Files().CreateDirectory(path) || FolderExists(path));
    RemoveCreatedFolders(split.Existing, split.Missing);
    return created;
}
