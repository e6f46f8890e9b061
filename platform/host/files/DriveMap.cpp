#include "platform/host/files/DriveMap.h"

#include <sys/stat.h>

#include <cctype>
#include <ctime>

#include "platform/CodePage.h"
#include "platform/WinTypes.h"
#include "platform/host/files/WindowsPath.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kErrorBadNetPath = 53;  // ERROR_BAD_NETPATH

bool IsFolder(const fs::path& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// True when prefix is the whole of path or one of its parent folders.
bool Covers(const fs::path& prefix, const fs::path& path, fs::path& rest) {
    auto p = prefix.begin();
    auto q = path.begin();
    for (; p != prefix.end(); ++p, ++q) {
        if (p->empty()) continue;  // a trailing separator
        if (q == path.end() || *p != *q) return false;
    }
    rest.clear();
    for (; q != path.end(); ++q)
        if (!q->empty()) rest /= *q;
    return true;
}

}  // namespace

DriveMap::DriveMap(fs::path prefixFolder) : prefixFolder_(std::move(prefixFolder)) {}

std::optional<fs::path> DriveMap::LinkTarget(char letter) const {
    if (!std::isalpha(static_cast<unsigned char>(letter))) return std::nullopt;
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    const std::size_t index = static_cast<std::size_t>(lower - 'a');
    const fs::path folder = prefixFolder_ / "dosdevices";

    // The clock is read before the folder: a change after this moment carries a
    // later time than the one the folder shows now.
    timespec now{};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    struct stat info {};
    const bool listed = ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    {
        const std::lock_guard<std::mutex> lock(linksMutex_);
        if (listed && links_.kept && links_.device == info.st_dev && links_.inode == info.st_ino &&
            links_.modified.tv_sec == info.st_mtim.tv_sec &&
            links_.modified.tv_nsec == info.st_mtim.tv_nsec) {
            if (links_.read[index]) return links_.targets[index];
        } else {
            links_ = Links{};
            links_.kept =
                listed &&
                (info.st_mtim.tv_sec < now.tv_sec ||
                 (info.st_mtim.tv_sec == now.tv_sec && info.st_mtim.tv_nsec < now.tv_nsec));
            links_.device = info.st_dev;
            links_.inode = info.st_ino;
            links_.modified = info.st_mtim;
        }
    }

    const fs::path link = folder / (std::string(1, lower) + ":");
    std::optional<fs::path> result;
    std::error_code failed;
    const fs::path target = fs::read_symlink(link, failed);
    if (!failed)
        result = (target.is_absolute() ? target : link.parent_path() / target).lexically_normal();

    const std::lock_guard<std::mutex> lock(linksMutex_);
    if (links_.kept && links_.device == info.st_dev && links_.inode == info.st_ino &&
        links_.modified.tv_sec == info.st_mtim.tv_sec &&
        links_.modified.tv_nsec == info.st_mtim.tv_nsec) {
        links_.read[index] = true;
        links_.targets[index] = result;
    }
    return result;
}

std::optional<fs::path> DriveMap::DriveRoot(char letter, std::uint32_t& error) const {
    auto root = LinkTarget(letter);
    if (!root || !IsFolder(*root)) {  // no link, or a link that points nowhere
        error = win::ERROR_INVALID_DRIVE;
        return std::nullopt;
    }
    error = 0;
    return root;
}

bool DriveMap::ResolveDirectly(const fs::path& root, const std::vector<std::string>& names,
                               bool forCreate, HostLocation& location) const {
    if (names.empty()) return false;
    fs::path exact = root;
    for (const std::string& name : names) exact /= HostName(name);
    const fs::path parent = exact.parent_path();
    location.host = exact;
    struct stat info {};
    struct stat folderInfo {};

    // For a create, a folder whose listing is kept and still current says by
    // itself whether the last name exists, and in which case: files created one
    // after another in one folder need no look-up of their own names. (A listing
    // of the same clock tick as another program's change may miss that change;
    // the exclusive create catches a file of the very name made meanwhile. Other
    // callers look the name up first, as a missing name there is the answer.)
    bool folderKnown = false;  // folderInfo holds the parent's status
    if (forCreate && names_.Holds(parent) && ::stat(parent.c_str(), &folderInfo) == 0) {
        folderKnown = true;
        if (!S_ISDIR(folderInfo.st_mode)) return false;
        std::string stored;
        const FolderNameCache::Answer answer =
            names_.Lookup(parent, names.back(), folderInfo, stored);
        if (answer != FolderNameCache::Answer::Unknown) {
            location.folderExists = true;
            if (answer == FolderNameCache::Answer::Found) location.host = parent / stored;
            location.exists =
                answer == FolderNameCache::Answer::Found && stat(location.host.c_str(), &info) == 0;
            location.regular = location.exists && S_ISREG(info.st_mode);
            return true;
        }
    }

    bool found = lstat(exact.c_str(), &info) == 0;
    if (!found) {
        // Only the last name may be missing or stored in another case.
        if (!folderKnown && ::stat(parent.c_str(), &folderInfo) != 0) return false;
        if (!S_ISDIR(folderInfo.st_mode)) return false;
        if (const auto stored = names_.Find(parent, names.back(), folderInfo)) {
            location.host = parent / *stored;
            found = true;
        }
    }
    location.folderExists = true;
    location.exists = found && stat(location.host.c_str(), &info) == 0;
    location.regular = location.exists && S_ISREG(info.st_mode);
    return true;
}

HostLocation DriveMap::Resolve(const std::string& fullPath, bool forCreate) const {
    HostLocation location;
    if (fullPath.rfind("\\\\", 0) == 0) {
        location.error = kErrorBadNetPath;
        return location;
    }
    const auto split = SplitFullPath(fullPath);
    if (!split) {
        location.error = win::ERROR_INVALID_NAME;
        return location;
    }
    for (const std::string& name : split->names) {
        if (!IsValidWindowsName(name) || name == "." || name == "..") {
            location.error = win::ERROR_INVALID_NAME;
            return location;
        }
    }
    // The common case first: the path exists as written, or only its last name
    // is new or in another case. Names in other cases further up take the walk.
    if (const auto target = LinkTarget(split->drive)) {
        if (ResolveDirectly(*target, split->names, forCreate, location)) return location;
    }
    const auto root = DriveRoot(split->drive, location.error);
    if (!root) return location;

    fs::path host = *root;
    bool present = true;  // every name so far exists
    for (std::size_t i = 0; i < split->names.size(); ++i) {
        const std::string& name = split->names[i];
        if (i + 1 == split->names.size()) location.folderExists = present && IsFolder(host);
        const std::string utf8 = HostName(name);
        struct stat info {};
        if (present && lstat((host / utf8).c_str(), &info) == 0) {
            host /= utf8;
            continue;
        }
        if (present) {
            if (const auto stored = names_.Find(host, name)) {
                host /= *stored;
                continue;
            }
        }
        present = false;
        host /= utf8;  // a new name keeps the case it is given
    }
    if (split->names.empty()) location.folderExists = true;
    struct stat info {};
    location.exists = present && stat(host.c_str(), &info) == 0;
    location.regular = location.exists && S_ISREG(info.st_mode);
    location.host = host;
    return location;
}

std::optional<std::string> DriveMap::ToWindows(const fs::path& hostPath) const {
    if (!hostPath.is_absolute()) return std::nullopt;
    std::error_code failed;
    const fs::path target = fs::weakly_canonical(hostPath, failed);
    if (failed) return std::nullopt;

    // The drive whose folder holds the path most closely wins, so that a folder
    // inside drive_c is named on C: rather than through Z:.
    std::optional<std::string> best;
    std::size_t bestDepth = 0;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        std::uint32_t error = 0;
        const auto root = DriveRoot(letter, error);
        if (!root) continue;
        const fs::path canonicalRoot = fs::weakly_canonical(*root, failed);
        if (failed) continue;
        fs::path rest;
        if (!Covers(canonicalRoot, target, rest)) continue;
        const auto depth =
            static_cast<std::size_t>(std::distance(canonicalRoot.begin(), canonicalRoot.end()));
        if (best && depth <= bestDepth) continue;
        std::string windows(1, static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
        windows += ":\\";
        bool first = true;
        bool convertible = true;
        for (const auto& part : rest) {
            const auto ansi = WindowsName(part.string());
            if (!ansi || !IsValidWindowsName(*ansi)) {
                convertible = false;
                break;
            }
            if (!first) windows += '\\';
            windows += *ansi;
            first = false;
        }
        if (!convertible) continue;
        best = windows;
        bestDepth = depth;
    }
    return best;
}
