// The shell of the host machine on a temporary prefix: the Programs folder,
// path conversion for the folder picker, starting programs and shell links.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "platform/CodePage.h"
#include "platform/TRegistry.h"
#include "platform/WinTypes.h"
#include "platform/host/machine/HostProcess.h"
#include "platform/host/machine/WinePrefix.h"
#include "tests/support/Doubles.h"
#include "tests/support/ShellCommand.h"
#include "tests/support/TempPrefix.h"

namespace fs = std::filesystem;

namespace {

const char* const kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

void SetProgramsValue(const std::string* programs) {
    IRegistry::Key key = 0;
    ASSERT_EQ(Registry().OpenKey(RootKey::CurrentUser, kShellFolders, true, key), 0u);
    if (programs != nullptr) {
        RegValue value{win::REG_SZ, *programs + std::string(1, '\0')};
        EXPECT_EQ(Registry().SetValue(key, "Programs", value), 0u);
    } else {
        EXPECT_EQ(Registry().DeleteValue(key, "Programs"), 0u);
    }
    Registry().CloseKey(key);
}

void MakeExecutable(const fs::path& file, const std::string& script) {
    std::ofstream(file) << script;
    fs::permissions(file, fs::perms::owner_all);
}

}  // namespace

class HostShellTest : public TempPrefixTest {};

TEST_F(HostShellTest, ProgramsFolderComesFromShellFoldersElseTheDefault) {
    const std::string user = WinePrefix::UserName();
    const std::string standard =
        "C:\\users\\" + user + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
    EXPECT_EQ(Shell().GetSpecialFolderPath(win::CSIDL_PROGRAMS), standard);

    const std::string moved = "D:\\Menu\\Programme";
    SetProgramsValue(&moved);
    EXPECT_EQ(Shell().GetSpecialFolderPath(win::CSIDL_PROGRAMS), moved);

    SetProgramsValue(nullptr);
    EXPECT_EQ(Shell().GetSpecialFolderPath(win::CSIDL_PROGRAMS), standard);
    EXPECT_EQ(Shell().GetSpecialFolderPath(5), std::nullopt);
}

TEST_F(HostShellTest, PickerPathsMapBothWays) {
    const fs::path programFiles = prefix_.Folder() / "drive_c" / "Program Files";
    EXPECT_EQ(Shell().WindowsPathToHost("c:\\program files"), programFiles.string());
    // A folder still to be made: the picker opens at its deepest existing parent.
    EXPECT_EQ(Shell().WindowsPathToHost("C:\\Program Files\\Lingora\\Data"), programFiles.string());
    EXPECT_EQ(Shell().WindowsPathToHost("Q:\\Lingora"), std::nullopt);

    EXPECT_EQ(Shell().HostPathToWindows(programFiles.string()), "C:\\Program Files");
    EXPECT_EQ(Shell().HostPathToWindows((prefix_.Folder() / "drive_c").string() + "/"), "C:\\");
    EXPECT_EQ(Shell().HostPathToWindows("/usr/share"), "Z:\\usr\\share");
    const fs::path latin = programFiles / "\xC3\x89t\xC3\xA9";  // "Été"
    fs::create_directory(latin);
    EXPECT_EQ(Shell().HostPathToWindows(latin.string()), "C:\\Program Files\\\xC9t\xE9");
    EXPECT_EQ(Shell().HostPathToWindows((programFiles / "\xE4\xB8\xAD").string()), std::nullopt);
    EXPECT_EQ(Shell().HostPathToWindows("relative/folder"), std::nullopt);
}

TEST_F(HostShellTest, WindowsProgramsStartThroughWineAndHostProgramsAsTheyAre) {
    prefix_.WriteFile("C:\\Old\\Uninst.EXE", "MZ");
    const bool wine = FindProgramOnPath("wine").has_value();
    EXPECT_EQ(Shell().ShellExecute("c:\\old\\uninst.exe", "/u \"C:\\Old\\Install.log\"", "C:\\Old"),
              wine);
    if (wine) {
        ASSERT_EQ(prefix_.Started().size(), 1u);
        const ProcessRequest& request = prefix_.Started()[0];
        const fs::path old = prefix_.Folder() / "drive_c" / "Old";
        EXPECT_EQ(request.arguments, (std::vector<std::string>{FindProgramOnPath("wine")->string(),
                                                               (old / "Uninst.EXE").string(), "/u",
                                                               "C:\\Old\\Install.log"}));
        EXPECT_EQ(request.environment,
                  std::vector<std::string>{"WINEPREFIX=" + prefix_.Folder().string()});
        EXPECT_EQ(request.workingFolder, old);
    }

    MakeExecutable(prefix_.HostPath("C:\\Old") / "tool.sh", "#!/bin/sh\n");
    EXPECT_TRUE(Shell().ShellExecute("C:\\Old\\tool.sh", "", ""));
    EXPECT_EQ(prefix_.Started().back().arguments,
              std::vector<std::string>{prefix_.HostPath("C:\\Old\\tool.sh").string()});

    const std::size_t started = prefix_.Started().size();
    prefix_.WriteFile("C:\\Old\\readme.txt", "not a program");
    EXPECT_FALSE(Shell().ShellExecute("C:\\Old\\readme.txt", "", ""));
    EXPECT_FALSE(Shell().ShellExecute("C:\\Old\\missing.exe", "", ""));
    EXPECT_FALSE(Shell().ShellExecute("C:\\Old\\tool.sh", "", "C:\\No Folder"));
    EXPECT_FALSE(Shell().ShellExecute("", "", ""));
    EXPECT_EQ(prefix_.Started().size(), started);
}

TEST(StartDetached, StartsTheProgramInItsFolderWithTheGivenEnvironment) {
    TempFolder temp;
    const fs::path script = temp.Path() / "probe.sh";
    MakeExecutable(script, "#!/bin/sh\necho \"$PWD|$PROBE|$1\" > out.tmp && mv out.tmp out.txt\n");
    ProcessRequest request{{script.string(), "one arg"}, {"PROBE=seen"}, temp.Path()};
    ASSERT_TRUE(StartDetached(request));
    // The program runs on its own; wait for what it leaves behind.
    for (int i = 0; i < 1000 && !fs::exists(temp.Path() / "out.txt"); ++i) usleep(10000);
    EXPECT_EQ(TempFolder::ReadFile(temp.Path() / "out.txt"),
              fs::canonical(temp.Path()).string() + "|seen|one arg\n");
    EXPECT_FALSE(StartDetached(ProcessRequest{{(temp.Path() / "missing").string()}, {}, {}}));
}

// A program started for Setup itself writes to Setup's diagnostic output, both
// streams, never to the terminal that Setup's own stdout and stderr are.
TEST(StartDetached, DiagnosticProgramsWriteToTheDiagnosticOutputOnly) {
    TempFolder temp;
    const fs::path script = temp.Path() / "talk.sh";
    MakeExecutable(script, "#!/bin/sh\necho said-out\necho said-err >&2\ntouch \"$1\"\n");
    const fs::path log = temp.Path() / "diagnostic.log";
    const int descriptor = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    ASSERT_GE(descriptor, 0);
    const auto run = [&](const fs::path& done) {
        ProcessRequest request{{script.string(), done.string()}, {}, temp.Path()};
        request.diagnostic = true;
        ASSERT_TRUE(StartDetached(request));
        for (int i = 0; i < 1000 && !fs::exists(done); ++i) usleep(10000);
        ASSERT_TRUE(fs::exists(done));
    };
    SetDiagnosticOutput(descriptor);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    run(temp.Path() / "first");
    SetDiagnosticOutput(-1);
    run(temp.Path() / "second");  // no diagnostic log: discarded
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    ::close(descriptor);
    EXPECT_EQ(TempFolder::ReadFile(log), "said-out\nsaid-err\n");
    EXPECT_EQ(out.find("said"), std::string::npos) << out;
    EXPECT_EQ(err.find("said"), std::string::npos) << err;
}

TEST_F(HostShellTest, RestartIsWinebootOnThePrefixOrRefused) {
    const bool wineboot = FindProgramOnPath("wineboot").has_value();
    EXPECT_EQ(WindowServices().ExitWindowsEx(win::EWX_REBOOT), wineboot);
    if (wineboot) {
        ASSERT_EQ(prefix_.Started().size(), 1u);
        EXPECT_EQ(prefix_.Started()[0].arguments,
                  (std::vector<std::string>{FindProgramOnPath("wineboot")->string(), "--restart"}));
        EXPECT_EQ(prefix_.Started()[0].environment,
                  std::vector<std::string>{"WINEPREFIX=" + prefix_.Folder().string()});
        EXPECT_TRUE(prefix_.Started()[0].diagnostic);  // Wine's messages stay off the terminal
    }
    const ScreenSize screen = WindowServices().GetScreenSize();
    EXPECT_GT(screen.width, 0);
    EXPECT_GT(screen.height, 0);
}

TEST_F(HostShellTest, SavedShortcutIsAShellLinkThatLnkinfoReads) {
    const std::string folder = prefix_.ProgramsFolder() + "\\Lingora";
    ASSERT_TRUE(Files().MakeSureDirectoryPathExists(folder + "\\"));
    auto object = Shell().CreateShellLink();
    IShellLink* link = object->QueryShellLink();
    IPersistFile* file = object->QueryPersistFile();
    ASSERT_NE(link, nullptr);
    ASSERT_NE(file, nullptr);
    const std::string target = "C:\\Program Files\\Lingora\\Lingora.exe";
    const std::string working = "C:\\Program Files\\Lingora \xE9t\xE9";
    EXPECT_EQ(link->SetPath(target), win::S_OK);
    EXPECT_EQ(link->SetWorkingDirectory(working), win::S_OK);
    EXPECT_EQ(file->Save(folder + "\\Lingora.lnk"), win::S_OK);

    const fs::path saved = prefix_.HostPath(folder + "\\Lingora.lnk");
    const std::string bytes = TempFolder::ReadFile(saved);
    ASSERT_GE(bytes.size(), 76u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x4C\0\0\0", 4));
    EXPECT_NE(bytes.find(target + std::string(1, '\0')), std::string::npos);

    if (!FindProgramOnPath("lnkinfo")) GTEST_SKIP() << "lnkinfo (liblnk-utils) is not installed";
    const std::string report = RunShellCommand("lnkinfo '" + saved.string() + "' 2>&1");
    EXPECT_NE(report.find("Local path\t\t\t: " + target), std::string::npos) << report;
    EXPECT_NE(report.find("Working directory\t\t: " + AnsiToUtf8(working)), std::string::npos)
        << report;
    EXPECT_NE(report.find("Drive type\t\t\t: Fixed"), std::string::npos) << report;
    EXPECT_EQ(report.find("Error"), std::string::npos) << report;
}

TEST_F(HostShellTest, AShortcutThatCannotBeSavedLeavesNoFile) {
    auto object = Shell().CreateShellLink();
    object->QueryShellLink()->SetPath("C:\\x.exe");
    const win::HRESULT missingFolder = object->QueryPersistFile()->Save("C:\\No Folder\\x.lnk");
    EXPECT_EQ(missingFolder, win::HResultFromWin32(win::ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(fs::exists(prefix_.Folder() / "drive_c" / "No Folder"));

    // A new file that cannot be written whole is removed; an existing one is not.
    DiskFullFileSystem full(prefix_.Machine().Files(), 10);
    Platform platform = prefix_.Machine().GetPlatform();
    platform.files = &full;
    {
        ScopedPlatform installed(platform);
        EXPECT_EQ(object->QueryPersistFile()->Save("C:\\new.lnk"),
                  win::HResultFromWin32(win::ERROR_DISK_FULL));
        prefix_.WriteFile("C:\\old.lnk", "old");
        EXPECT_NE(object->QueryPersistFile()->Save("C:\\old.lnk"), win::S_OK);
    }
    EXPECT_FALSE(Files().FileExists("C:\\new.lnk"));
    EXPECT_TRUE(Files().FileExists("C:\\old.lnk"));
    if (fs::is_character_file("/dev/full")) {
        EXPECT_NE(object->QueryPersistFile()->Save("Z:\\dev\\full"), win::S_OK);
        EXPECT_TRUE(fs::is_character_file("/dev/full"));
    }
    EXPECT_EQ(object->QueryShellLink()->SetPath(std::string(300, 'x')),
              win::HResultFromWin32(win::ERROR_FILENAME_EXCED_RANGE));
}
