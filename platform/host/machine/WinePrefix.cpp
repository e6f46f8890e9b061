#include "platform/host/machine/WinePrefix.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "platform/CodePage.h"
#include "platform/Exceptions.h"

namespace fs = std::filesystem;

namespace {

// A registry file's text for one string: the escapes that Wine reads back
// (backslash and quote doubled up, control characters and everything above
// 127 as escapes of their UTF-16 code units).
std::string RegEscape(const std::string& ansi) {
    std::string out;
    for (const char16_t unit : AnsiToUtf16(ansi)) {
        if (unit == u'\\' || unit == u'"') {
            out += '\\';
            out += static_cast<char>(unit);
        } else if (unit >= 32 && unit < 127) {
            out += static_cast<char>(unit);
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%04x", static_cast<unsigned>(unit));
            out += buffer;
        }
    }
    return out;
}

std::string RegString(const std::string& name, const std::string& value) {
    return "\"" + RegEscape(name) + "\"=\"" + RegEscape(value) + "\"\n";
}

std::string KeyLine(const std::string& path, long long stamp) {
    std::string escaped;
    for (const char c : path) {
        if (c == '\\')
            escaped += "\\\\";
        else
            escaped += c;
    }
    return "\n[" + escaped + "] " + std::to_string(stamp) + "\n";
}

std::string Header(const char* root, PrefixArch arch) {
    return std::string("WINE REGISTRY Version 2\n;; All keys relative to ") + root +
           "\n\n#arch=" + (arch == PrefixArch::Win64 ? "win64" : "win32") + "\n";
}

// Writes a file that must not exist yet, in one go.
void WriteNewFile(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw Exception("cannot write " + file.string());
}

// The host folder of a Windows path below C:\ in the fresh prefix.
fs::path UnderDriveC(const fs::path& driveC, const std::string& windowsPath) {
    fs::path host = driveC;
    std::string part;
    for (std::size_t i = 3; i <= windowsPath.size(); ++i) {
        if (i == windowsPath.size() || windowsPath[i] == '\\') {
            if (!part.empty()) host /= AnsiToUtf8(part);
            part.clear();
        } else {
            part += windowsPath[i];
        }
    }
    return host;
}

}  // namespace

WinePrefix::WinePrefix(fs::path folder) : folder_(std::move(folder)) {}

fs::path WinePrefix::DefaultFolder() {
    const char* variable = std::getenv("WINEPREFIX");
    if (variable != nullptr && *variable != '\0') {
        const fs::path folder(variable);
        if (folder.is_absolute()) return folder;
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* entry = getpwuid(getuid());
        if (entry != nullptr && entry->pw_dir != nullptr) home = entry->pw_dir;
    }
    return fs::path(home != nullptr ? home : "/") / ".wine";
}

std::string WinePrefix::UserName() {
    std::string name;
    const passwd* entry = getpwuid(getuid());
    if (entry != nullptr && entry->pw_name != nullptr) name = entry->pw_name;
    if (name.empty()) {
        const char* user = std::getenv("USER");
        if (user != nullptr) name = user;
    }
    // The profile folder's name must be a Windows name; a login name that the
    // ANSI code page cannot hold gets the neutral one.
    const auto ansi = Utf8ToAnsi(name);
    if (name.empty() || !ansi) return "user";
    return *ansi;
}

std::string WinePrefix::ProfileFolder(const std::string& user) { return "C:\\users\\" + user; }
std::string WinePrefix::AppDataFolder(const std::string& user) {
    return ProfileFolder(user) + "\\AppData\\Roaming";
}
std::string WinePrefix::StartMenuFolder(const std::string& user) {
    return AppDataFolder(user) + "\\Microsoft\\Windows\\Start Menu";
}
std::string WinePrefix::ProgramsFolder(const std::string& user) {
    return StartMenuFolder(user) + "\\Programs";
}

bool WinePrefix::Exists() const {
    std::error_code ignored;
    return fs::exists(SystemReg(), ignored) || fs::exists(UserReg(), ignored) ||
           fs::exists(DosDevices(), ignored) || fs::exists(folder_ / "drive_c", ignored);
}

WinePrefix::LaidDown WinePrefix::EnsureExists(PrefixArch arch) const {
    try {
        return LayDown(arch);
    } catch (const fs::filesystem_error& error) {
        throw Exception("cannot lay down a Wine prefix in " + folder_.string() + ": " +
                        error.code().message());
    }
}

WinePrefix::LaidDown WinePrefix::LayDown(PrefixArch arch) const {
    LaidDown laidDown;
    if (Exists()) return laidDown;
    const std::string user = UserName();
    const long long stamp = std::chrono::duration_cast<std::chrono::seconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();

    std::error_code failed;
    laidDown.folderMade = !fs::exists(folder_, failed);
    fs::create_directories(folder_);
    laidDown.made = true;
    const fs::path driveC = folder_ / "drive_c";
    fs::create_directories(driveC);
    fs::create_directories(DosDevices());
    fs::create_directory_symlink("../drive_c", DosDevices() / "c:");
    fs::create_directory_symlink("/", DosDevices() / "z:");

    const std::string programFiles = "C:\\Program Files";
    const std::string programFilesX86 = "C:\\Program Files (x86)";
    fs::create_directories(UnderDriveC(driveC, programFiles));
    if (arch == PrefixArch::Win64) fs::create_directories(UnderDriveC(driveC, programFilesX86));
    const std::string profile = ProfileFolder(user);
    for (const std::string& folder : {profile + "\\Desktop", ProgramsFolder(user)})
        fs::create_directories(UnderDriveC(driveC, folder));

    // The machine: where programs go. A 64-bit prefix keeps the folder that
    // 32-bit programs see under Wow6432Node, as Wine's own setup does.
    // HKEY_CLASSES_ROOT is there from the start, as in every prefix Wine makes,
    // so that a file type registered and removed again leaves the file as it was.
    std::string system = Header("REGISTRY\\\\Machine", arch);
    system += KeyLine("Software\\Classes", stamp);
    system += KeyLine("Software\\Microsoft\\Windows\\CurrentVersion", stamp);
    system += RegString("ProgramFilesDir", programFiles);
    if (arch == PrefixArch::Win64) {
        system += RegString("ProgramFilesDir (x86)", programFilesX86);
        system += KeyLine("Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion", stamp);
        system += RegString("ProgramFilesDir", programFilesX86);
        system += RegString("ProgramFilesDir (x86)", programFilesX86);
    }

    // The user: the profile's folders as the shell reports them.
    std::string users = Header("REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000", arch);
    users +=
        KeyLine("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", stamp);
    users += RegString("AppData", AppDataFolder(user));
    users += RegString("Desktop", profile + "\\Desktop");
    users += RegString("Local AppData", profile + "\\AppData\\Local");
    users += RegString("Personal", profile + "\\Documents");
    users += RegString("Programs", ProgramsFolder(user));
    users += RegString("Start Menu", StartMenuFolder(user));
    users += RegString("Startup", ProgramsFolder(user) + "\\Startup");

    WriteNewFile(SystemReg(), system);
    WriteNewFile(UserReg(), users);

    for (const fs::path& file : {SystemReg(), UserReg()})
        laidDown.files.emplace_back(file, fs::last_write_time(file));
    laidDown.links = {DosDevices() / "c:", DosDevices() / "z:"};
    // Every folder made, with the folders between it and the prefix folder.
    std::vector<fs::path> folders = {DosDevices()};
    for (const std::string& folder :
         {programFiles, programFilesX86, profile + "\\Desktop", ProgramsFolder(user)})
        for (fs::path host = UnderDriveC(driveC, folder); host != folder_ && host.has_parent_path();
             host = host.parent_path())
            folders.push_back(host);
    std::sort(folders.begin(), folders.end(), [](const fs::path& a, const fs::path& b) {
        const auto depth = [](const fs::path& path) {
            return std::distance(path.begin(), path.end());
        };
        return depth(a) != depth(b) ? depth(a) > depth(b) : a < b;
    });
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    if (laidDown.folderMade) folders.push_back(folder_);
    laidDown.folders = std::move(folders);
    return laidDown;
}

bool WinePrefix::RemoveLaidDown(const LaidDown& laidDown) {
    if (!laidDown.made) return true;
    bool whole = true;
    std::error_code failed;
    for (const auto& [file, written] : laidDown.files) {
        if (fs::last_write_time(file, failed) == written && !failed && fs::is_regular_file(file))
            fs::remove(file, failed);
        else if (fs::exists(fs::symlink_status(file, failed)))
            whole = false;
    }
    for (const fs::path& link : laidDown.links)
        if (fs::is_symlink(fs::symlink_status(link, failed))) fs::remove(link, failed);
    for (const fs::path& folder : laidDown.folders)
        // Only an empty folder goes: whatever someone put there stays.
        if (::rmdir(folder.c_str()) != 0 && errno != ENOENT) whole = false;
    return whole;
}
