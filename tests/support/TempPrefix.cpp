#include "tests/support/TempPrefix.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/WinTypes.h"

namespace fs = std::filesystem;

TempPrefix::TempPrefix(PrefixArch arch)
    : started_(std::make_shared<std::vector<ProcessRequest>>()) {
    auto started = started_;
    DesktopSettings desktop;
    desktop.dataHome = temp_.Path() / "xdg-data";
    desktop.configHome = temp_.Path() / "xdg-config";
    machine_ = std::make_unique<HostMachine>(
        temp_.Path() / "prefix", arch,
        [started](const ProcessRequest& request) {
            started->push_back(request);
            return true;
        },
        desktop);
    installed_ = std::make_unique<ScopedPlatform>(machine_->GetPlatform());
}

TempPrefix::~TempPrefix() {
    installed_.reset();
    machine_.reset();
}

const fs::path& TempPrefix::Folder() const { return machine_->Prefix().Folder(); }

fs::path TempPrefix::HostPath(const std::string& windowsPath) const {
    const HostLocation location = machine_->Files().Locate(windowsPath);
    if (location.error != 0)
        throw std::runtime_error("no host place for " + windowsPath + " (error " +
                                 std::to_string(location.error) + ")");
    return location.host;
}

std::string TempPrefix::ProgramsFolder() const {
    return *machine_->Shell().GetSpecialFolderPath(win::CSIDL_PROGRAMS);
}

void TempPrefix::WriteFile(const std::string& windowsPath, const std::string& content) const {
    const fs::path file = HostPath(windowsPath);
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string TempPrefix::ReadFile(const std::string& windowsPath) const {
    return TempFolder::ReadFile(HostPath(windowsPath));
}

TempPrefix::CurrentDirectory::CurrentDirectory(const fs::path& hostFolder)
    : previous_(fs::current_path()) {
    fs::current_path(hostFolder);
}

TempPrefix::CurrentDirectory::~CurrentDirectory() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
}

std::unique_ptr<TempPrefix::CurrentDirectory> TempPrefix::ChangeDirectory(
    const fs::path& hostFolder) const {
    return std::make_unique<CurrentDirectory>(hostFolder);
}
