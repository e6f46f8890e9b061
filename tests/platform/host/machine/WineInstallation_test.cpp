// The kind of a new prefix: Wine's rule applied to installations laid out as
// Debian and Wine's own build lay them out, in temporary folders.
#include "platform/host/machine/WineInstallation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

const std::string Elf32(
    "\x7f"
    "ELF\x01",
    5);
const std::string Elf64(
    "\x7f"
    "ELF\x02",
    5);

class WineInstallationTest : public TempFolderTest {
  protected:
    std::string Root(const std::string& relative) const {
        return (temp_.Path() / relative).string();
    }
    // Debian: /usr/bin/wine is a script that starts the loaders in /usr/lib/wine;
    // the Unix libraries are in the multiarch folders.
    void Debian(bool with64, bool with32) const {
        temp_.WriteFile("usr/bin/wine", "#!/bin/sh -e\nexec $wine \"$@\"\n");
        if (with64) {
            temp_.WriteFile("usr/lib/wine/wine64", Elf64);
            temp_.WriteFile("usr/lib/x86_64-linux-gnu/wine/x86_64-unix/ntdll.so", Elf64);
        }
        if (with32) {
            temp_.WriteFile("usr/lib/wine/wine", Elf32);
            temp_.WriteFile("usr/lib/i386-linux-gnu/wine/i386-unix/ntdll.so", Elf32);
        }
    }
};

TEST_F(WineInstallationTest, DebianWithAndWithout32BitWine) {
    Debian(true, false);
    WineInstallation found = WineInstallation::Find("/nonexistent:" + Root("usr/bin"));
    EXPECT_TRUE(found.Runs64);
    EXPECT_FALSE(found.Runs32);

    Debian(true, true);
    found = WineInstallation::Find(Root("usr/bin"));
    EXPECT_TRUE(found.Runs64);
    EXPECT_TRUE(found.Runs32);
}

TEST_F(WineInstallationTest, WinesOwnBuildReachedThroughALink) {
    // /opt/wine: bin/wine (32-bit) and bin/wine64, lib/wine/i386-unix and
    // lib64/wine/x86_64-unix; PATH holds only links to the loaders.
    temp_.WriteFile("opt/wine/bin/wine", Elf32);
    temp_.WriteFile("opt/wine/bin/wine64", Elf64);
    temp_.WriteFile("opt/wine/lib/wine/i386-unix/ntdll.so", "");
    temp_.WriteFile("opt/wine/lib64/wine/x86_64-unix/ntdll.so", "");
    fs::create_directories(temp_.Path() / "links");
    fs::create_symlink(temp_.Path() / "opt/wine/bin/wine64", temp_.Path() / "links/wine64");
    WineInstallation found = WineInstallation::Find(Root("links"));
    EXPECT_TRUE(found.Runs64);
    EXPECT_FALSE(found.Runs32);  // only the 64-bit loader is on PATH
    fs::create_symlink(temp_.Path() / "opt/wine/bin/wine", temp_.Path() / "links/wine");
    found = WineInstallation::Find(Root("links"));
    EXPECT_TRUE(found.Runs64);
    EXPECT_TRUE(found.Runs32);
}

TEST_F(WineInstallationTest, ALoaderWithoutItsLibrariesRunsNothing) {
    temp_.WriteFile("bin/wine64", Elf64);
    temp_.WriteFile("lib/wine/i386-unix/ntdll.so", "");  // the other word size's
    temp_.WriteFile("usr/bin/wine", "#!/bin/sh\n");      // a script with no loader
    const WineInstallation found = WineInstallation::Find(Root("bin") + ":" + Root("usr/bin"));
    EXPECT_FALSE(found.Runs64);
    EXPECT_FALSE(found.Runs32);
    EXPECT_FALSE(WineInstallation::Find("").Runs64);
}

TEST(NewPrefixArchTest, WineArchFirstThenWhatTheInstalledWineRuns) {
    const WineInstallation both{true, true}, only64{true, false}, only32{false, true}, none{};
    EXPECT_EQ(NewPrefixArch(nullptr, both), PrefixArch::Win64);
    EXPECT_EQ(NewPrefixArch("", only64), PrefixArch::Win64);
    EXPECT_EQ(NewPrefixArch(nullptr, only32), PrefixArch::Win32);
    // Without Wine, the kind that Debian's wine will open here: 64-bit on amd64.
    EXPECT_EQ(NewPrefixArch(nullptr, none),
              sizeof(void*) == 8 ? PrefixArch::Win64 : PrefixArch::Win32);
    EXPECT_EQ(NewPrefixArch("win32", none), PrefixArch::Win32);
    EXPECT_EQ(NewPrefixArch("win32", both), PrefixArch::Win32);
    EXPECT_EQ(NewPrefixArch("win32", only32), PrefixArch::Win32);
    EXPECT_EQ(NewPrefixArch("win64", only64), PrefixArch::Win64);

    const auto message = [](const char* winearch, const WineInstallation& wine) {
        try {
            NewPrefixArch(winearch, wine);
        } catch (const std::runtime_error& error) {
            return std::string(error.what());
        }
        return std::string("(accepted)");
    };
    EXPECT_NE(message("win32", only64).find("runs only 64-bit programs"), std::string::npos)
        << message("win32", only64);
    EXPECT_NE(message("win32", only64).find("wine32:i386"), std::string::npos);
    EXPECT_NE(message("win64", only32).find("runs only 32-bit programs"), std::string::npos);
    EXPECT_EQ(message("win64", none), "(accepted)");
    EXPECT_NE(message("Win64", both).find("must be win32 or win64"), std::string::npos);
}

}  // namespace
