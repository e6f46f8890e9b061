#include "tests/extract/ExtractTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

#include "dialogs/Unit_Constants.h"
#include "dialogs/Unit_ExitForm.h"
#include "extract/CopyingScope.h"
#include "extract/Unit_ExtractForm.h"
#include "extract/Unit_ExtractThread.h"
#include "platform/host/machine/WinePrefix.h"
#include "volumes/Unit_DataFile.h"

void ExtractTest::SetUp() {
    prefix_ = temp_.Path() / "prefix";
    WinePrefix(prefix_).EnsureExists();
    volumes_ = temp_.Path() / "volumes";
    std::filesystem::create_directories(volumes_);
    savedDirectory_ = std::filesystem::current_path();
    std::filesystem::current_path(volumes_);
    files_ = std::make_unique<HostFileSystem>(prefix_);
    platform_ =
        std::make_unique<ScopedPlatform>(Platform{files_.get(), nullptr, nullptr, &windows_});
    // Each test has forms of its own, as a run of the program has.
    BuildTexts();
    ExitForm = new TExitForm();
    ExtractForm = new TExtractForm();
    ASSERT_TRUE(Files().MakeSureDirectoryPathExists(std::string(kTarget) + "\\"));
    log_ = std::make_unique<TLogFile>(kTarget, "Lingora");
    copying_ = std::make_unique<TCopyingScope>();
    copying_->Into(*log_, kTarget).From({volumes_.string()}).FirstDisk("");
    ExtractStepObserver = nullptr;
}

void ExtractTest::TearDown() {
    // The progress window first: a copying thread that may still wait for it
    // ends before anything else goes.
    delete ExtractForm;
    ExtractForm = nullptr;
    delete ExitForm;
    ExitForm = nullptr;
    ReleaseTexts();
    ExtractStepObserver = nullptr;
    DataFile.reset();
    ResetOutFile();
    copying_.reset();
    log_.reset();
    platform_.reset();
    std::filesystem::current_path(savedDirectory_);
}

std::filesystem::path ExtractTest::Installed(const std::string& relative) const {
    return TempFolder::BelowFolder(prefix_ / "drive_c" / "Program Files" / "Lingora", relative);
}

std::string ExtractTest::InstalledContent(const std::string& relative) const {
    return TempFolder::ReadFile(Installed(relative));
}

std::string ExtractTest::CloseLog() {
    if (log_ && log_->IsOpen()) log_->Close();
    return TempFolder::ReadFile(Installed("Install.log"));
}

std::string ExtractTest::ExpectedLog(const std::vector<std::string>& names) {
    std::string log =
        "*** Don't change or delete this file ***\r\n\r\n{program folder}\r\nLingora\r\n"
        "\r\n{program files}\r\nLingohlp.GID\r\n";
    for (const std::string& name : names) log += name + "\r\n";
    return log + "\r\n";
}
