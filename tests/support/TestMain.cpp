// The test programs' run: an application on the offscreen platform, so that the
// forms are real widgets without a display.
#include "tests/support/TestMain.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// Fontconfig keeps a small cache for the life of the process, which LeakSanitizer
// would report as a leak of the window tests.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

// The desktop folders of the person running the tests are never written: the
// tests and the programs they start get temporary ones.
class TemporaryDesktopFolders {
  public:
    TemporaryDesktopFolders() {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::string folder = (base / "setup-test-desktop-XXXXXX").string();
        if (mkdtemp(folder.data()) == nullptr) std::abort();
        folder_ = folder;
        setenv("XDG_DATA_HOME", (folder_ / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (folder_ / "config").c_str(), 1);
    }
    ~TemporaryDesktopFolders() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    TemporaryDesktopFolders(const TemporaryDesktopFolders&) = delete;
    TemporaryDesktopFolders& operator=(const TemporaryDesktopFolders&) = delete;

  private:
    std::filesystem::path folder_;
};

}  // namespace

int RunTestProgram(
    int argc, char** argv,
    const std::function<std::unique_ptr<QApplication>(int&, char**)>& makeApplication) {
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (CTest's discovery) needs no application and no display.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const TemporaryDesktopFolders desktopFolders;
    const std::unique_ptr<QApplication> application = makeApplication(argc, argv);
    QApplication::setApplicationName("Setup");
    return RUN_ALL_TESTS();
}
