#include "app/SourceArgument.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "volumes/DiskSearch.h"
#include "volumes/VolumeFormat.h"

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// True for the name of a volume of a set, by the volume-name rule, in any case.
bool IsVolumeName(const std::string& name) {
    const std::string lower = Lower(name);
    for (int number = 1; number <= 255; ++number)
        if (Lower(volume::VolumeName(number)) == lower) return true;
    return false;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// The first volume in folder, found as Setup finds it: its exact name first,
// then any name that differs only in case. Empty when there is none.
fs::path FirstVolumeIn(const fs::path& folder) {
    const std::string name = volume::VolumeName(1);
    std::error_code error;
    if (fs::is_regular_file(folder / name, error)) return folder / name;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        if (Lower(entry->path().filename().string()) == Lower(name) &&
            fs::is_regular_file(entry->path(), error))
            return entry->path();
    }
    return {};
}

}  // namespace

TSourceArgument SourceFolderOf(const std::string& path) {
    TSourceArgument result;
    const std::string first = volume::VolumeName(1);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (path.empty() || status.type() == fs::file_type::not_found) {
        result.Error = Quoted(path) + " does not exist; name " + first +
                       " of a set, or the folder that holds it";
        return result;
    }
    if (error) {
        result.Error = "cannot look at " + Quoted(path) + ": " + error.message();
        return result;
    }

    const fs::path absolute = fs::absolute(path, error);
    fs::path folder;
    if (fs::is_directory(status)) {
        folder = absolute;
    } else if (fs::is_regular_file(status) && IsVolumeName(fs::path(path).filename().string())) {
        folder = absolute.parent_path();
    } else {
        result.Error = Quoted(path) + " is not a volume of a set (" + first + ", " +
                       volume::VolumeName(2) + ", ...) nor a folder that holds one";
        return result;
    }

    const fs::path volume = FirstVolumeIn(folder);
    if (volume.empty()) {
        result.Error = fs::is_directory(status)
                           ? Quoted(path) + " holds no " + first + ", the first volume of a set"
                           : Quoted(path) + " is a volume of a set, but its folder holds no " +
                                 first + ": name the set's first volume, where copying starts";
        return result;
    }
    if (::access(volume.c_str(), R_OK) != 0) {
        result.Error = "cannot read " + Quoted(volume.string()) + ": " + std::strerror(errno);
        return result;
    }
    result.Folder = folder.lexically_normal();
    if (result.Folder.has_relative_path() && result.Folder.filename().empty())
        result.Folder = result.Folder.parent_path();
    return result;
}

std::string UseSourceFolderForWizard(const fs::path& folder) {
    disks::SourceFolders = {folder.string()};
    return {};
}
