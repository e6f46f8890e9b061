#include "platform/host/files/FolderNameCache.h"

#include <dirent.h>

#include <memory>

#include "platform/host/files/WindowsPath.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxFolders = 256;

// The folded ANSI form of a stored name; nothing when the ANSI code page
// cannot hold it (such a name never matches a Windows name).
std::optional<std::string> FoldedKey(const std::string& stored) {
    std::optional<std::string> ansi = WindowsName(stored);
    if (!ansi) return std::nullopt;
    for (char& c : *ansi) c = FoldCase(c);
    return ansi;
}

std::string Folded(std::string ansi) {
    for (char& c : ansi) c = FoldCase(c);
    return ansi;
}

}  // namespace

bool FolderNameCache::Same(const Folder& folder, const struct stat& info) {
    return folder.device == info.st_dev && folder.inode == info.st_ino &&
           folder.modified.tv_sec == info.st_mtim.tv_sec &&
           folder.modified.tv_nsec == info.st_mtim.tv_nsec;
}

bool FolderNameCache::Holds(const fs::path& folder) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return folders_.count(folder.native()) != 0;
}

FolderNameCache::Answer FolderNameCache::Lookup(const fs::path& folder, const std::string& ansiName,
                                                const struct stat& folderInfo,
                                                std::string& stored) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto entry = folders_.find(folder.native());
    if (entry == folders_.end() || !Same(entry->second, folderInfo) || entry->second.collisions)
        return Answer::Unknown;
    const auto found = entry->second.names.find(Folded(ansiName));
    if (found == entry->second.names.end()) return Answer::Missing;
    stored = found->second;
    return Answer::Found;
}

std::optional<std::string> FolderNameCache::Find(const fs::path& folder,
                                                 const std::string& ansiName) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) return std::nullopt;
    return Find(folder, ansiName, info);
}

std::optional<std::string> FolderNameCache::Find(const fs::path& folder,
                                                 const std::string& ansiName,
                                                 const struct stat& info) {
    if (!S_ISDIR(info.st_mode)) return std::nullopt;
    const std::lock_guard<std::mutex> lock(mutex_);
    auto entry = folders_.find(folder.native());
    if (entry == folders_.end() || !Same(entry->second, info)) {
        if (entry == folders_.end() && folders_.size() >= kMaxFolders) folders_.clear();
        Folder listed;
        listed.device = info.st_dev;
        listed.inode = info.st_ino;
        listed.modified = info.st_mtim;
        std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
        if (!dir) return std::nullopt;
        while (const dirent* item = readdir(dir.get())) {
            const std::string stored = item->d_name;
            if (stored == "." || stored == "..") continue;
            if (auto key = FoldedKey(stored)) {
                if (!listed.names.emplace(std::move(*key), stored).second) listed.collisions = true;
            }
        }
        entry = folders_.insert_or_assign(folder.string(), std::move(listed)).first;
    }
    const auto found = entry->second.names.find(Folded(ansiName));
    if (found == entry->second.names.end()) return std::nullopt;
    return found->second;
}

void FolderNameCache::Update(const fs::path& folder, const std::string& storedName, bool added,
                             const struct stat* folderNow) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto entry = folders_.find(folder.native());
    if (entry == folders_.end()) return;
    struct stat info {};
    if (folderNow != nullptr) info = *folderNow;
    const auto key = FoldedKey(storedName);
    if ((folderNow == nullptr && ::stat(folder.c_str(), &info) != 0) || !key) {
        folders_.erase(entry);
        return;
    }
    entry->second.modified = info.st_mtim;
    if (added) {
        if (!entry->second.names.emplace(*key, storedName).second) entry->second.collisions = true;
    } else {
        const auto found = entry->second.names.find(*key);
        if (!entry->second.collisions && found != entry->second.names.end() &&
            found->second == storedName)
            entry->second.names.erase(found);
        else
            folders_.erase(entry);  // another name of that key may remain: read again
    }
}

void FolderNameCache::Added(const fs::path& folder, const std::string& storedName,
                            const struct stat* folderNow) {
    Update(folder, storedName, true, folderNow);
}

void FolderNameCache::Removed(const fs::path& folder, const std::string& storedName) {
    Update(folder, storedName, false, nullptr);
}
