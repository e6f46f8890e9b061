#include "platform/host/machine/HostShell.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/CodePage.h"
#include "platform/WinTypes.h"
#include "platform/host/files/WindowsPath.h"
#include "platform/host/machine/HostShellLink.h"
#include "platform/host/machine/WinePrefix.h"

namespace fs = std::filesystem;

namespace {

const char* const kShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::optional<std::string> ReadProgramsValue(IRegistry& registry) {
    IRegistry::Key key = 0;
    if (registry.OpenKey(RootKey::CurrentUser, kShellFoldersKey, false, key) != win::ERROR_SUCCESS)
        return std::nullopt;
    RegValue value;
    const std::uint32_t result = registry.QueryValue(key, "Programs", value);
    registry.CloseKey(key);
    if (result != win::ERROR_SUCCESS ||
        (value.type != win::REG_SZ && value.type != win::REG_EXPAND_SZ))
        return std::nullopt;
    std::string text = value.data;
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    if (text.empty()) return std::nullopt;
    return text;
}

bool IsRegularFile(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsWindowsProgram(const std::string& program) {
    const std::size_t dot = program.rfind('.');
    if (dot == std::string::npos || program.find('\\', dot) != std::string::npos) return false;
    const std::string extension = program.substr(dot);
    return SameNameIgnoringCase(extension, ".exe") || SameNameIgnoringCase(extension, ".com") ||
           SameNameIgnoringCase(extension, ".bat");
}

}  // namespace

HostShell::HostShell(HostFileSystem& files, IRegistry& registry, ProcessStarter starter)
    : files_(files), registry_(registry), starter_(std::move(starter)) {}

std::optional<std::string> HostShell::GetSpecialFolderPath(int csidl) {
    if (csidl != win::CSIDL_PROGRAMS) return std::nullopt;
    if (auto programs = ReadProgramsValue(registry_)) return programs;
    return WinePrefix::ProgramsFolder(WinePrefix::UserName());
}

std::optional<std::string> HostShell::WindowsPathToHost(const std::string& windowsPath) {
    std::string path = files_.GetFullPathName(windowsPath);
    while (true) {
        const HostLocation location = files_.Locate(path);
        if (location.error != 0) return std::nullopt;
        std::error_code unseen;  // a folder that cannot be looked at is not taken
        if (location.exists && fs::is_directory(location.host, unseen))
            return location.host.string();
        const std::string parent = ParentOfFullPath(path);
        if (parent == path) return std::nullopt;
        path = parent;
    }
}

std::optional<std::string> HostShell::HostPathToWindows(const std::string& hostPath) {
    return files_.Drives().ToWindows(fs::path(hostPath));
}

bool HostShell::ShellExecute(const std::string& program, const std::string& parameters,
                             const std::string& folder) {
    if (program.empty()) return false;
    const HostLocation target = files_.Locate(program);
    if (target.error != 0 || !IsRegularFile(target.host)) return false;

    ProcessRequest request;
    if (!folder.empty()) {
        const HostLocation workingFolder = files_.Locate(folder);
        std::error_code unseen;
        if (workingFolder.error != 0 || !fs::is_directory(workingFolder.host, unseen)) return false;
        request.workingFolder = workingFolder.host;
    }
    if (IsWindowsProgram(program)) {
        const auto wine = FindProgramOnPath("wine");
        if (!wine) return false;
        request.arguments = {wine->string(), target.host.string()};
        request.environment = {"WINEPREFIX=" + files_.Drives().PrefixFolder().string()};
    } else if (::access(target.host.c_str(), X_OK) == 0) {
        request.arguments = {target.host.string()};
    } else {
        return false;
    }
    for (const std::string& argument : SplitCommandLine(parameters))
        request.arguments.push_back(AnsiToUtf8(argument));
    return starter_(request);
}

std::unique_ptr<IShellLinkObject> HostShell::CreateShellLink() {
    return std::make_unique<HostShellLink>();
}
