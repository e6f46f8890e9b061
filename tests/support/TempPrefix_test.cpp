// The test prefix itself: other suites stand on it.
#include "tests/support/TempPrefix.h"

#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/WinTypes.h"
#include "platform/host/machine/WinePrefix.h"

namespace fs = std::filesystem;

TEST(TempPrefix, LaysDownThePrefixAndInstallsItsMachine) {
    fs::path folder;
    {
        TempPrefix prefix;
        folder = prefix.Folder();
        EXPECT_TRUE(fs::is_directory(folder / "drive_c"));
        EXPECT_EQ(fs::read_symlink(folder / "dosdevices" / "c:"), "../drive_c");
        EXPECT_EQ(fs::read_symlink(folder / "dosdevices" / "z:"), "/");
        EXPECT_EQ(&Files(), &prefix.Machine().Files());
        EXPECT_EQ(&Registry(), &prefix.Machine().Registry());

        const std::string programs = prefix.ProgramsFolder();
        EXPECT_EQ(programs, "C:\\users\\" + WinePrefix::UserName() +
                                "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs");
        EXPECT_TRUE(fs::is_directory(prefix.HostPath(programs)));
        EXPECT_EQ(prefix.HostPath("c:\\PROGRAM FILES"), folder / "drive_c" / "Program Files");

        prefix.WriteFile("C:\\Program Files\\Lingora\\Caf\xE9.txt", "data");
        EXPECT_TRUE(
            fs::exists(folder / "drive_c/Program Files/Lingora" / AnsiToUtf8("Caf\xE9.txt")));
        EXPECT_EQ(prefix.ReadFile("C:\\program files\\LINGORA\\CAF\xC9.TXT"), "data");
    }
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(CurrentPlatform().files, nullptr);
}

TEST(TempPrefix, RecordsProgramsInsteadOfStartingThem) {
    TempPrefix prefix;
    EXPECT_TRUE(WindowServices().ExitWindowsEx(win::EWX_REBOOT) ||
                prefix.Started().empty());  // refused only where wineboot is missing
    for (const ProcessRequest& request : prefix.Started()) {
        EXPECT_EQ(request.arguments.back(), "--restart");
        EXPECT_EQ(request.environment,
                  std::vector<std::string>{"WINEPREFIX=" + prefix.Folder().string()});
    }
}

TEST(TempPrefix, ChangesTheCurrentDirectoryForAScope) {
    TempPrefix prefix;
    const fs::path before = fs::current_path();
    prefix.WriteFile("C:\\Setup\\Setup.d01", "x");
    {
        auto guard = prefix.ChangeDirectory(prefix.HostPath("C:\\Setup"));
        EXPECT_EQ(Files().GetCurrentDirectory(), "C:\\Setup");
        EXPECT_TRUE(Files().FileExists("setup.D01"));
    }
    EXPECT_EQ(fs::current_path(), before);
}

TEST(TempPrefix, A64BitPrefixShowsProgramFilesOfA32BitProgram) {
    TempPrefix prefix(PrefixArch::Win64);
    const std::string system = TempFolder::ReadFile(prefix.Folder() / "system.reg");
    EXPECT_EQ(
        system.rfind("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
                     "#arch=win64\n",
                     0),
        0u);
    EXPECT_NE(TempFolder::ReadFile(prefix.Folder() / "user.reg").find("#arch=win64\n"),
              std::string::npos);
    EXPECT_TRUE(fs::is_directory(prefix.Folder() / "drive_c" / "Program Files (x86)"));

    IRegistry::Key key = 0;
    ASSERT_EQ(Registry().OpenKey(RootKey::LocalMachine,
                                 "Software\\Microsoft\\Windows\\CurrentVersion", false, key),
              win::ERROR_SUCCESS);
    RegValue value;
    EXPECT_EQ(Registry().QueryValue(key, "ProgramFilesDir", value), win::ERROR_SUCCESS);
    EXPECT_EQ(value.data, std::string("C:\\Program Files (x86)\0", 23));
    Registry().CloseKey(key);
}
