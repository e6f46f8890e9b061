#include "tests/support/TempDrive.h"

namespace fs = std::filesystem;

TempDrive::TempDrive(fs::path folder)
    : folder_(folder.empty() ? temp_.Path() / "prefix" : std::move(folder)) {
    fs::create_directories(folder_ / "drive_c");
    fs::create_directories(folder_ / "dosdevices");
    fs::create_directory_symlink("../drive_c", folder_ / "dosdevices" / "c:");
    fs::create_directory_symlink("/", folder_ / "dosdevices" / "z:");
    files_ = std::make_unique<HostFileSystem>(folder_);
    installed_ =
        std::make_unique<ScopedPlatform>(Platform{files_.get(), nullptr, nullptr, nullptr});
}

TempDrive::~TempDrive() {
    installed_.reset();
    files_.reset();
}
