#include "installlog/Unit_Paths.h"

#include "platform/Platform.h"
#include "platform/WinTypes.h"

std::string TrimTrailingBackslash(const std::string& path) {
    if (path.empty() || path.back() != '\\') return path;
    if (path.size() == 3 && path[1] == ':') return path;
    return path.substr(0, path.size() - 1);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() != '\\')
        return TrimTrailingBackslash(folder + '\\' + name);
    return TrimTrailingBackslash(folder + name);
}

bool FolderExists(const std::string& path) {
    const std::uint32_t attributes = Files().GetFileAttributes(path);
    return attributes != win::INVALID_FILE_ATTRIBUTES &&
           (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
}
