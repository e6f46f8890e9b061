#include "app/SourceArgument.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <system_error>

#include "platform/host/files/HostFolders.h"
#include "platform/host/files/IsoImage.h"
#include "volumes/DiskSearch.h"
#include "volumes/VolumeFormat.h"
#include "volumes/VolumeName.h"

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// The first volume in folder, found as Setup finds it: its exact name first,
// then any name that differs only in case or by a version suffix (";1"). Empty when there is none.
// A disk image is a folder here too: its files are read unmounted.
fs::path FirstVolumeIn(const fs::path& folder) {
    const std::string name = volume::VolumeName(1);
    const std::optional<std::vector<std::string>> files = hostfiles::RegularFilesIn(folder);
    if (!files) return {};
    if (std::find(files->begin(), files->end(), name) != files->end()) return folder / name;
    for (const std::string& file : *files)
        if (volume::NamesFile(file, name)) return folder / file;
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

    fs::path folder;
    const bool image = fs::is_regular_file(status) && iso::LooksLikeImage(path);
    if (fs::is_directory(status) || image) {
        folder = ResolveFolder(path);
    } else if (fs::is_regular_file(status) &&
               volume::ParseVolumeName(fs::path(path).filename().string())) {
        folder = fs::path(ResolveFolder(path)).parent_path();
    } else {
        result.Error = Quoted(path) + " is not a volume of a set (" + first + ", " +
                       volume::VolumeName(2) +
                       ", ...) nor a folder or an ISO 9660 disk image that holds one";
        return result;
    }

    const fs::path volume = FirstVolumeIn(folder);
    if (volume.empty()) {
        result.Error = fs::is_directory(status) || image
                           ? Quoted(path) + " holds no " + first + ", the first volume of a set"
                           : Quoted(path) + " is a volume of a set, but its folder holds no " +
                                 first + ": name the set's first volume, where copying starts";
        return result;
    }
    if (!image && ::access(volume.c_str(), R_OK) != 0) {
        result.Error = "cannot read " + Quoted(volume.string()) + ": " + std::strerror(errno);
        return result;
    }
    result.Folder = folder.lexically_normal();
    if (result.Folder.has_relative_path() && result.Folder.filename().empty())
        result.Folder = result.Folder.parent_path();
    return result;
}

std::string ResolveFolder(const std::string& folder) {
    std::error_code failed;
    std::string path = folder;
    if (path.empty() || path.front() != '/') {
        const fs::path current = fs::current_path(failed);
        path = disks::JoinFolder(failed ? std::string("/") : current.string(), path);
    }
    // Name by name; at "..", the folder so far as the file system has it.
    std::string resolved = "/";
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(at, end - at);
        at = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            char* real = ::realpath(resolved.c_str(), nullptr);
            if (real != nullptr) {
                resolved = real;
                std::free(real);
            }
            resolved = disks::NormalFolder(disks::JoinFolder(resolved, ".."));
            continue;
        }
        resolved = disks::JoinFolder(resolved, part);
    }
    return resolved;
}

bool TakesValue(const std::string& option) {
    return option == "--source" || option == "--dir" || option == "--group" || option == "--log" ||
           option == "--answers" || option == "--save-answers";
}

std::vector<std::string> RunSources(int argc, char** argv) {
    std::vector<std::string> options;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--source" && i + 1 < argc)
            options.push_back(ResolveFolder(argv[++i]));
        else if (argument.rfind("--source=", 0) == 0)
            options.push_back(ResolveFolder(argument.substr(9)));
        else if (TakesValue(argument))
            ++i;
        else if (argument.empty() || argument.front() != '-')
            paths.push_back(argument);
    }
    if (!options.empty()) return options;
    if (paths.size() == 1) {
        const TSourceArgument named = SourceFolderOf(paths.front());
        if (named.Error.empty()) return {named.Folder.string()};
    }
    return {ResolveFolder(".")};
}
