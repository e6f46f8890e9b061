// Where the prefix is, and an existing prefix left as it is.
#include "platform/host/machine/WinePrefix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Exceptions.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

TEST(WinePrefix, AnExistingPrefixIsLeftAsItIs) {
    TempFolder temp;
    const fs::path folder = temp.Path() / "existing";
    temp.WriteFile("existing/system.reg", "WINE REGISTRY Version 2\n;; mine\n");
    WinePrefix(folder).EnsureExists();
    EXPECT_EQ(TempFolder::ReadFile(folder / "system.reg"), "WINE REGISTRY Version 2\n;; mine\n");
    EXPECT_FALSE(fs::exists(folder / "user.reg"));
    EXPECT_FALSE(fs::exists(folder / "dosdevices"));
}

// The callers show Setup's own errors; the library's exceptions would reach them
// as an unknown kind, with a text of the library's.
TEST(WinePrefix, AFolderThatCannotBeMadeIsSetupsOwnError) {
    TempFolder temp;
    temp.WriteFile("file", "");  // not a folder, also for root
    try {
        WinePrefix(temp.Path() / "file" / "prefix").EnsureExists();
        ADD_FAILURE() << "a prefix laid down below a file";
    } catch (const Exception& error) {
        EXPECT_NE(std::string(error.what()).find((temp.Path() / "file" / "prefix").string()),
                  std::string::npos)
            << error.what();
    }
}

TEST(WinePrefix, TheFolderIsAnAbsoluteWineprefixElseTheHomeWine) {
    const char* saved = std::getenv("WINEPREFIX");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("WINEPREFIX", "/srv/prefix", 1);
    EXPECT_EQ(WinePrefix::DefaultFolder(), "/srv/prefix");
    setenv("WINEPREFIX", "relative/prefix", 1);
    EXPECT_EQ(WinePrefix::DefaultFolder().filename(), ".wine");
    EXPECT_TRUE(WinePrefix::DefaultFolder().is_absolute());
    if (saved != nullptr)
        setenv("WINEPREFIX", previous.c_str(), 1);
    else
        unsetenv("WINEPREFIX");
}
