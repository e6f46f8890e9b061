// The test programs' main: a QApplication on the offscreen platform, so that the
// forms are real widgets without a display.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/Application.h"

// Fontconfig keeps a small cache for the life of the process, which LeakSanitizer
// would report as a leak of the window tests.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (CTest's discovery) needs no application and no display.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TApplication application(argc, argv);
    QApplication::setApplicationName("Setup");
    return RUN_ALL_TESTS();
}
