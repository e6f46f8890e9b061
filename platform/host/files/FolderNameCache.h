// The names of host folders, folded as Windows folds them, so that finding a
// name in another case does not scan a large folder again for every file. A
// folder's list is read again whenever the folder changed (its inode or
// modification time differs from when it was read); the changes Setup makes
// itself are entered directly, so that creating many files in one folder stays
// linear. A change that another program makes in the same instant as one of
// Setup's own may go unseen until the folder changes again.
//
// Thread use: any thread.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

class FolderNameCache {
  public:
    // The stored (UTF-8) name of the entry of folder whose ANSI name equals
    // ansiName ignoring case; nothing when there is none.
    std::optional<std::string> Find(const std::filesystem::path& folder,
                                    const std::string& ansiName);
    // The same, with the folder's status already taken (stat, following links).
    std::optional<std::string> Find(const std::filesystem::path& folder,
                                    const std::string& ansiName, const struct stat& folderInfo);

    // Whether a listing of folder is kept (current or not); no look at the disk.
    bool Holds(const std::filesystem::path& folder);
    // The answer of a kept listing that is still current for folderInfo, without
    // reading the folder: Found (stored is the name) or Missing. Unknown when no
    // current listing is kept, or when two stored names of the folder fold to
    // the same key (the name as written must then be looked up on the disk).
    enum class Answer { Unknown, Missing, Found };
    Answer Lookup(const std::filesystem::path& folder, const std::string& ansiName,
                  const struct stat& folderInfo, std::string& stored);
    // This process added or removed an entry (stored name) in folder. folderNow,
    // when given, is the folder's status just after the change (else it is read).
    void Added(const std::filesystem::path& folder, const std::string& storedName,
               const struct stat* folderNow = nullptr);
    void Removed(const std::filesystem::path& folder, const std::string& storedName);

  private:
    struct Folder {
        dev_t device = 0;
        ino_t inode = 0;
        timespec modified{};
        std::unordered_map<std::string, std::string> names;  // folded ANSI -> stored
        bool collisions = false;  // two stored names fold to the same key
    };
    static bool Same(const Folder& folder, const struct stat& info);
    void Update(const std::filesystem::path& folder, const std::string& storedName, bool added,
                const struct stat* folderNow);

    std::mutex mutex_;
    std::unordered_map<std::string, Folder> folders_;
};
