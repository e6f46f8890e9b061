// What Setup installed, used by Wine itself: real prefixes made by wineboot,
// one of each kind, an unattended installation of the demonstration's payload
// (its real 32-bit programs) by the Setup program, then Wine's own tools:
// reg, uninstaller, start. A kind that the installed Wine cannot make, and
// the checks that need a 32-bit program to run where this Wine cannot start
// one, are skipped with the reason.
//
// The programs run without a display (DISPLAY and WAYLAND_DISPLAY are
// removed): what they were given is in their record (LINGORA_RECORD) before
// they open a window, and a window they cannot open ends them. Every Wine
// server started on a prefix is ended before its tests end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "platform/host/machine/WineInstallation.h"
#include "platform/host/machine/WinePrefix.h"
#include "tests/support/ShellCommand.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

struct Win64Kind {
    static constexpr PrefixArch Arch = PrefixArch::Win64;
    static constexpr const char* Name = "win64";
    // The 32-bit view of the registry, which Setup and its programs use.
    static constexpr const char* View = " /reg:32";
};
struct Win32Kind {
    static constexpr PrefixArch Arch = PrefixArch::Win32;
    static constexpr const char* Name = "win32";
    static constexpr const char* View = "";
};

// Runs a shell command on the prefix, without a display, and returns its
// output (stdout and stderr).
std::string RunOnPrefix(const fs::path& prefix, const std::string& command, int* status = nullptr,
                        const std::string& variables = "") {
    const std::string line =
        "env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX=" + ShellQuoted(prefix.string()) +
        " WINEDEBUG=-all " + variables + " " + command + " 2>&1 </dev/null";
    return RunShellCommand(line, status);
}

void EndServer(const fs::path& prefix) {
    RunOnPrefix(prefix, "wineserver -k");
    RunOnPrefix(prefix, "timeout 120 wineserver -w");
}

// The Windows path (drive Z:) of a host path.
std::string OnDriveZ(const fs::path& host) {
    std::string path = "Z:" + host.string();
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// Waits up to 60 seconds for a program's record; its lines, or "" without one.
std::string WaitForRecord(const fs::path& record) {
    for (int i = 0; i < 600; ++i) {
        if (fs::exists(record)) return TempFolder::ReadFile(record);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "";
}

bool WineInstalled() {
    return std::system(
               "command -v wine >/dev/null 2>&1 && command -v wineboot >/dev/null 2>&1 "
               "&& command -v wineserver >/dev/null 2>&1") == 0;
}

// One prefix of the kind, made by wineboot, with Lingora installed by Setup.
template <typename Kind>
class WineRunTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!WineInstalled()) {
            skipped_ = "Wine is not installed";
            return;
        }
        const WineInstallation wine = WineInstallation::FindOnPath();
        if (Kind::Arch == PrefixArch::Win32 ? !wine.Runs32 : !wine.Runs64) {
            skipped_ = std::string("the installed Wine cannot make ") + Kind::Name +
                       " prefixes: it has no " +
                       (Kind::Arch == PrefixArch::Win32 ? "32-bit" : "64-bit") +
                       " loader with its libraries (scripts/install-deps adds 32-bit Wine where "
                       "the machine runs 32-bit programs)";
            return;
        }
        folder_ = new TempFolder();
        int status = 0;
        setup_ = RunOnPrefix(
            Prefix(), "WINEARCH=" + std::string(Kind::Name) + " timeout 240 wineboot -i", &status);
        EndServer(Prefix());
        if (status != 0 || !fs::exists(Prefix() / "system.reg")) return;

        fs::create_directories(Volumes());
        setup_ +=
            RunOnPrefix(Prefix(),
                        ShellQuoted(SETUPVOL_PATH) + " build " + ShellQuoted(DEMO_PAYLOAD_PATH) +
                            " " + ShellQuoted(Volumes().string()) + " --volume-size cd",
                        &status);
        if (status != 0) return;
        setup_ += RunOnPrefix(Prefix(),
                              ShellQuoted(SETUP_PATH) +
                                  " --unattended --accept-licence --quiet "
                                  "--source " +
                                  ShellQuoted(Volumes().string()),
                              &status);
        // Where the 32-bit view's program folder is: a prefix that a Wine
        // without its 32-bit half made has none there, and Setup takes its default.
        for (const char* programFiles : {"Program Files (x86)", "Program Files"}) {
            if (fs::exists(Prefix() / "drive_c" / programFiles / "Lingora" / "Install.log"))
                installFolder_ = programFiles;
        }
        installed_ = status == 0 && !installFolder_.empty();
        if (!installed_) return;

        // Can this Wine start the installed 32-bit program at all?
        const fs::path record = folder_->Path() / "probe.txt";
        const std::string said = RunOnPrefix(
            Prefix(), "timeout 60 wine " + ShellQuoted(InstallFolder() + "\\Lingora.exe"), nullptr,
            "LINGORA_RECORD=" + ShellQuoted(OnDriveZ(record)));
        EndServer(Prefix());
        if (!fs::exists(record))
            noPrograms_ = std::string("this Wine cannot start 32-bit programs on a ") + Kind::Name +
                          " prefix (wine said: " + said.substr(0, said.find('\n')) + ")";
    }
    static void TearDownTestSuite() {
        if (folder_ != nullptr) EndServer(Prefix());
        delete folder_;
        folder_ = nullptr;
    }
    void SetUp() override {
        if (!skipped_.empty()) GTEST_SKIP() << Kind::Name << ": " << skipped_;
        ASSERT_TRUE(installed_) << "wineboot or Setup failed:\n" << setup_;
    }
    void TearDown() override {
        if (folder_ != nullptr) EndServer(Prefix());
    }

    static fs::path Prefix() { return folder_->Path() / "prefix"; }
    static fs::path Volumes() { return folder_->Path() / "volumes"; }
    static std::string InstallFolder() { return "C:\\" + installFolder_ + "\\Lingora"; }
    static fs::path InstallFolderOnHost() {
        return Prefix() / "drive_c" / installFolder_ / "Lingora";
    }
    static std::string ProgramsFolder() {
        return WinePrefix::ProgramsFolder(WinePrefix::UserName());
    }
    static std::string Run(const std::string& command, int* status = nullptr,
                           const std::string& variables = "") {
        return RunOnPrefix(Prefix(), command, status, variables);
    }
    // Starts a Windows path through Wine's start (as a double click does) and
    // returns what the program recorded.
    static std::string Start(const std::string& windowsPath) {
        const fs::path record = folder_->Path() / "record.txt";
        fs::remove(record);
        Run("timeout 60 wine start " + ShellQuoted(windowsPath), nullptr,
            "LINGORA_RECORD=" + ShellQuoted(OnDriveZ(record)));
        const std::string lines = WaitForRecord(record);
        EndServer(Prefix());
        return lines;
    }
    static std::string UninstallKey() {
        return "'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lingora'" +
               std::string(Kind::View);
    }

    static TempFolder* folder_;
    static std::string skipped_, noPrograms_, setup_;
    static std::string installFolder_;  // below C:
    static bool installed_;
};

template <typename Kind>
TempFolder* WineRunTest<Kind>::folder_ = nullptr;
template <typename Kind>
std::string WineRunTest<Kind>::skipped_;
template <typename Kind>
std::string WineRunTest<Kind>::noPrograms_;
template <typename Kind>
std::string WineRunTest<Kind>::setup_;
template <typename Kind>
std::string WineRunTest<Kind>::installFolder_;
template <typename Kind>
bool WineRunTest<Kind>::installed_ = false;

using Kinds = testing::Types<Win64Kind, Win32Kind>;
class KindNames {
  public:
    template <typename Kind>
    static std::string GetName(int) {
        return Kind::Name;
    }
};
TYPED_TEST_SUITE(WineRunTest, Kinds, KindNames);

}  // namespace

TYPED_TEST(WineRunTest, WinesToolsSeeTheEntries) {
    const std::string entry = this->Run("timeout 120 wine reg query " + this->UninstallKey());
    EXPECT_NE(entry.find("DisplayName    REG_SZ    Lingora"), std::string::npos) << entry;
    EXPECT_NE(entry.find("UninstallString    REG_SZ    " + this->InstallFolder() + "\\Uninst.exe"),
              std::string::npos)
        << entry;
    const std::string wdl = this->Run("timeout 120 wine reg query 'HKCR\\.wdl'");
    EXPECT_NE(wdl.find("REG_SZ    Lingora.Wordlist"), std::string::npos) << wdl;
    const std::string open =
        this->Run("timeout 120 wine reg query 'HKCR\\Lingora.Wordlist\\Shell\\Open\\command'");
    EXPECT_NE(open.find("REG_SZ    " + this->InstallFolder() + "\\Lingora.exe \"%1\""),
              std::string::npos)
        << open;
    const std::string list = this->Run("timeout 120 wine uninstaller --list");
    EXPECT_NE(list.find("|||Lingora"), std::string::npos) << list;
}

TYPED_TEST(WineRunTest, ShortcutsAndTheFileTypeStartTheProgramsAsRecorded) {
    if (!this->noPrograms_.empty()) GTEST_SKIP() << this->noPrograms_;
    const std::string shortcuts = this->ProgramsFolder() + "\\Lingora\\";
    // The shortcut's working folder, no argument.
    EXPECT_EQ(this->Start(shortcuts + "Lingora.lnk"), "folder=" + this->InstallFolder() + "\r\n");
    // The uninstaller asks first; without a display nobody answers yes, so
    // nothing is removed.
    EXPECT_EQ(this->Start(shortcuts + "Uninstall Lingora.lnk"),
              "folder=" + this->InstallFolder() + "\r\n");
    EXPECT_TRUE(fs::exists(this->InstallFolderOnHost() / "Install.log"));

    // A word list whose path holds blanks reaches Lingora as one argument.
    const fs::path list = this->Prefix() / "drive_c" / "Mijn lijsten" / "Reis woorden.wdl";
    fs::create_directories(list.parent_path());
    fs::copy_file(this->InstallFolderOnHost() / "Voorbeeld.wdl", list);
    const std::string record = this->Start("C:\\Mijn lijsten\\Reis woorden.wdl");
    EXPECT_NE(record.find("\r\nargument=C:\\Mijn lijsten\\Reis woorden.wdl\r\n"), std::string::npos)
        << record;
}

TYPED_TEST(WineRunTest, TheUninstallEntrysCommandRemovesEverything) {
    if (!this->noPrograms_.empty()) GTEST_SKIP() << this->noPrograms_;
    // The entry's command, answered yes without a window.
    int status = 0;
    const std::string said = this->Run(
        "timeout 120 wine " + ShellQuoted(this->InstallFolder() + "\\Uninst.exe") + " /S", &status);
    EXPECT_EQ(status, 0) << said;
    // The copy in the temporary folder does the work; it has ended with the server.
    RunOnPrefix(this->Prefix(), "timeout 120 wineserver -w");

    EXPECT_FALSE(fs::exists(this->InstallFolderOnHost()));
    const fs::path drive = this->Prefix() / "drive_c";
    // (The uninstaller's own copy waits in the temporary folder for the next restart.)
    for (const auto& entry : fs::recursive_directory_iterator(drive / "users")) {
        if (entry.path().string().find("Start Menu") == std::string::npos) continue;
        EXPECT_EQ(entry.path().string().find("Lingora"), std::string::npos) << entry.path();
    }
    int missing = 0;
    this->Run("timeout 120 wine reg query " + this->UninstallKey(), &missing);
    EXPECT_NE(missing, 0);
    this->Run("timeout 120 wine reg query 'HKCR\\.wdl'", &missing);
    EXPECT_NE(missing, 0);
    this->Run("timeout 120 wine reg query 'HKCR\\Lingora.Wordlist'", &missing);
    EXPECT_NE(missing, 0);
    const std::string list = this->Run("timeout 120 wine uninstaller --list");
    EXPECT_EQ(list.find("Lingora"), std::string::npos) << list;
}

// The prefix that Setup lays down itself, without WINEARCH, is of a kind that
// the installed Wine opens.
TEST(SetupsOwnPrefixTest, WineOpensIt) {
    if (!WineInstalled()) GTEST_SKIP() << "Wine is not installed";
    TempFolder folder;
    const fs::path prefix = folder.Path() / "prefix";
    int status = 0;
    std::string said = RunOnPrefix(prefix,
                                   std::string(SETUPVOL_PATH) + " build " + DEMO_PAYLOAD_PATH +
                                       " " + ShellQuoted((folder.Path() / "volumes").string()),
                                   &status);
    ASSERT_EQ(status, 0) << said;
    said = RunOnPrefix(prefix,
                       "env -u WINEARCH " + ShellQuoted(SETUP_PATH) +
                           " --unattended --accept-licence --quiet --source " +
                           ShellQuoted((folder.Path() / "volumes").string()),
                       &status);
    ASSERT_EQ(status, 0) << said;
    const WineInstallation wine = WineInstallation::FindOnPath();
    const bool win64 =
        TempFolder::ReadFile(prefix / "system.reg").find("\n#arch=win64\n") != std::string::npos;
    EXPECT_EQ(win64, wine.Runs64);

    // Wine takes the prefix over on its first start and finds the entry.
    said = RunOnPrefix(prefix,
                       "timeout 240 wine reg query "
                       "'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lingora'" +
                           std::string(win64 ? " /reg:32" : ""),
                       &status);
    EndServer(prefix);
    EXPECT_EQ(status, 0) << said;
    EXPECT_EQ(said.find("cannot support"), std::string::npos) << said;
    EXPECT_NE(said.find("DisplayName    REG_SZ    Lingora"), std::string::npos) << said;
}
