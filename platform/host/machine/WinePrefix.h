// The Wine prefix that stands for the Windows machine: its folder, and the
// minimal prefix that Setup lays down when the folder holds none yet (drive C:
// and Z:, the two registry files with the values the system reads at start).
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

enum class PrefixArch { Win32, Win64 };

class WinePrefix {
  public:
    explicit WinePrefix(std::filesystem::path folder);

    // $WINEPREFIX when it is an absolute path, else ~/.wine (Wine's own rule).
    static std::filesystem::path DefaultFolder();
    // The name of the prefix's user (the account running Setup), as Wine names
    // the profile folder under C:\users.
    static std::string UserName();

    const std::filesystem::path& Folder() const { return folder_; }
    std::filesystem::path DosDevices() const { return folder_ / "dosdevices"; }
    std::filesystem::path SystemReg() const { return folder_ / "system.reg"; }
    std::filesystem::path UserReg() const { return folder_ / "user.reg"; }

    // True when the folder already holds a prefix (its registry files or drives).
    bool Exists() const;
    // What EnsureExists laid down: enough to take exactly that away again.
    struct LaidDown {
        bool made = false;                           // a prefix was laid down
        bool folderMade = false;                     // and the prefix folder itself made for it
        std::vector<std::filesystem::path> folders;  // deepest first
        std::vector<std::filesystem::path> links;
        std::vector<std::pair<std::filesystem::path, std::filesystem::file_time_type>> files;
    };

    // Lays down the minimal prefix when the folder holds none; an existing
    // prefix is left exactly as it is. Throws Exception, with the system's
    // reason, when the folder cannot be written.
    LaidDown EnsureExists(PrefixArch arch = PrefixArch::Win32) const;
    // Takes away what EnsureExists laid down, as long as nothing else changed
    // it: a registry file written since stays (and so do the folders that hold
    // it), and a folder that holds anything else stays. False when anything of
    // it stays.
    static bool RemoveLaidDown(const LaidDown& laidDown);

    // The default Windows paths of the user's profile and Start-menu folders.
    static std::string ProfileFolder(const std::string& user);  // C:\users\<user>
    static std::string AppDataFolder(const std::string& user);
    static std::string StartMenuFolder(const std::string& user);
    static std::string ProgramsFolder(const std::string& user);

  private:
    // EnsureExists, with the std::filesystem errors as they come.
    LaidDown LayDown(PrefixArch arch) const;

    std::filesystem::path folder_;
};
