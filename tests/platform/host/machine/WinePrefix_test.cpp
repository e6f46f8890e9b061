// Where the prefix is, and an existing prefix left as it is.
#include "platform/host/machine/WinePrefix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

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
