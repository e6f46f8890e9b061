#include "platform/host/files/HostFolders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/host/files/IsoImage.h"

namespace hostfiles {

namespace {

// The mountinfo escapes: \040 (space), \011 (tab), \012 (newline), \134 (\).
std::string Unescape(const std::string& field) {
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            std::all_of(field.begin() + static_cast<long>(i) + 1,
                        field.begin() + static_cast<long>(i) + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            text += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                      (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

// Without doubled and trailing slashes: "/media/anna/X/" is "/media/anna/X".
std::string Tidy(std::string folder) {
    for (std::size_t at = folder.find("//"); at != std::string::npos; at = folder.find("//", at))
        folder.erase(at, 1);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

}  // namespace

std::vector<MountPoint> ParseMountInfo(const std::string& text) {
    std::vector<MountPoint> mounts;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<std::string> parts;
        for (std::string field; fields >> field;) parts.push_back(field);
        // mount id, parent id, major:minor, root, mount point, options,
        // optional fields ..., "-", type, source, super options
        if (parts.size() < 5 || parts[4].empty() || parts[4][0] != '/') continue;
        MountPoint mount(Tidy(Unescape(parts[4])));
        const auto separator = std::find(parts.begin() + 5, parts.end(), "-");
        if (separator != parts.end() && separator + 1 != parts.end()) mount.type = separator[1];
        const auto same = std::find_if(mounts.begin(), mounts.end(), [&](const MountPoint& m) {
            return m.folder == mount.folder;
        });
        if (same == mounts.end())
            mounts.push_back(mount);
        else
            same->type = mount.type;
    }
    return mounts;
}

std::vector<MountPoint> ReadMountTable() {
    std::ifstream file("/proc/self/mountinfo");
    if (!file) return {};
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    return ParseMountInfo(text);
}

std::optional<std::vector<std::string>> RegularFilesIn(const std::string& folder) {
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        // A disk image, or a folder inside one: its files, read unmounted.
        if (errno != ENOTDIR && errno != ENOENT) return std::nullopt;
        const std::optional<iso::ImagePath> split = iso::SplitImagePath(folder + "/-");
        if (!split) return std::nullopt;
        const std::string& inside = split->inside;  // the folder's path inside, then "/-"
        return iso::FilesInImage(split->image,
                                 inside.size() > 2 ? inside.substr(0, inside.size() - 2) : "");
    }
    DIR* entries = ::fdopendir(descriptor);
    if (entries == nullptr) {
        ::close(descriptor);
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(entries)) {
        if (entry->d_type != DT_REG && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
            continue;
        struct stat info {};
        if (entry->d_type != DT_REG &&
            (::fstatat(descriptor, entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode)))
            continue;
        names.emplace_back(entry->d_name);
    }
    ::closedir(entries);
    return names;
}

}  // namespace hostfiles
