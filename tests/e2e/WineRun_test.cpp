// What Setup installed, used by Wine itself: real prefixes made by wineboot,
// one of each kind, unattended installations of the demonstration's payloads
// (their real programs) by the Setup program, then Wine's own tools: reg,
// uninstaller, start.
//
// The payloads hold the two builds of the same programs: 32-bit, as Setup is
// one, and 64-bit. A 32-bit prefix runs the 32-bit build. On a 64-bit prefix
// each test installs and checks both builds, one after the other, where the
// installed Wine starts 32-bit programs, and the 64-bit build where it cannot
// (Wine 8 without its 32-bit half). Only a kind of prefix that the installed
// Wine cannot make is skipped, with the reason.
//
// The programs run without a display (DISPLAY and WAYLAND_DISPLAY are
// removed): what they were given is in their record (LINGORA_RECORD) before
// they open a window, and a window they cannot open ends them. Every Wine
// server started on a prefix is ended before its tests end.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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

// One build of the demonstration's programs, with the payload's other files.
struct Payload {
    const char* Name;
    const char* Folder;
    const char* Volumes;  // below the suite's folder
};
const Payload Payload32{"the 32-bit payload", DEMO_PAYLOAD_PATH, "volumes32"};
const Payload Payload64{"the 64-bit payload", DEMO_PAYLOAD64_PATH, "volumes64"};

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

// One prefix of the kind, made by wineboot, with a volume set of each payload
// that the prefix runs; each test installs them with Setup.
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

        // The builds that this prefix runs.
        if (Kind::Arch == PrefixArch::Win32) {
            payloads_ = {&Payload32};
            shown_ = "the 32-bit payload";
        } else {
            const std::string refused = Refuses32BitPrograms();
            if (refused.empty()) {
                payloads_ = {&Payload32, &Payload64};
                shown_ = "the 32-bit payload, then the 64-bit payload";
            } else {
                payloads_ = {&Payload64};
                shown_ =
                    "the 64-bit payload (this Wine does not start 32-bit programs: " + refused +
                    ")";
                // With its 32-bit half, Wine starts them: a 32-bit build that
                // does not start is a fault, not a limit of this machine.
                if (wine.Runs32)
                    fault_ =
                        "the installed Wine has its 32-bit half, yet it did not start the 32-bit "
                        "Lingora.exe on a win64 prefix (" +
                        refused + ")";
            }
        }
        for (const Payload* payload : payloads_) {
            const fs::path volumes = folder_->Path() / payload->Volumes;
            fs::create_directories(volumes);
            setup_ +=
                RunOnPrefix(Prefix(),
                            ShellQuoted(SETUPVOL_PATH) + " build " + ShellQuoted(payload->Folder) +
                                " " + ShellQuoted(volumes.string()) + " --volume-size cd",
                            &status);
            if (status != 0) return;
        }
        ready_ = true;
    }
    static void TearDownTestSuite() {
        if (folder_ != nullptr) EndServer(Prefix());
        delete folder_;
        folder_ = nullptr;
    }
    void SetUp() override {
        if (!skipped_.empty()) GTEST_SKIP() << Kind::Name << ": " << skipped_;
        ASSERT_TRUE(ready_) << "wineboot or setupvol failed:\n" << setup_;
        std::cout << Kind::Name << " prefix: " << shown_ << std::endl;
        if (!fault_.empty()) ADD_FAILURE() << fault_;
    }
    void TearDown() override {
        if (folder_ != nullptr) EndServer(Prefix());
    }

    // "" when this Wine starts the 32-bit build of Lingora.exe (from its
    // payload, through drive Z:) on the prefix; else what Wine said: the
    // errors of its loader when it gave any (they name the cause), else all it
    // printed.
    static std::string Refuses32BitPrograms() {
        const fs::path record = folder_->Path() / "probe.txt";
        const std::string said = Run(
            "timeout 60 wine " + ShellQuoted(OnDriveZ(fs::path(Payload32.Folder) / "Lingora.exe")),
            nullptr,
            "WINEDEBUG=-all,err+environ,err+module LINGORA_RECORD=" +
                ShellQuoted(OnDriveZ(record)));
        EndServer(Prefix());
        if (fs::exists(record)) return "";
        std::string errors, all;
        for (std::size_t start = 0; start < said.size();) {
            const std::size_t end = std::min(said.find('\n', start), said.size());
            const std::string line = said.substr(start, end - start);
            start = end + 1;
            if (line.empty()) continue;
            all += (all.empty() ? "" : " / ") + line;
            if (line.find(":err:") != std::string::npos)
                errors += (errors.empty() ? "" : " / ") + line;
        }
        if (all.empty()) return "wine said nothing";
        return "wine said: " + (errors.empty() ? all : errors);
    }

    // Installs the payload with Setup, unattended, over what the prefix holds
    // (an earlier payload's installation is replaced).
    static void Install(const Payload& payload) {
        EndServer(Prefix());
        int status = 0;
        const std::string said =
            Run(ShellQuoted(SETUP_PATH) + " --unattended --accept-licence --quiet --source " +
                    ShellQuoted((folder_->Path() / payload.Volumes).string()),
                &status);
        ASSERT_EQ(status, 0) << "Setup failed:\n" << said;
        // Where the 32-bit view's program folder is: a prefix that a Wine
        // without its 32-bit half made has none there, and Setup takes its default.
        installFolder_.clear();
        for (const char* programFiles : {"Program Files (x86)", "Program Files"}) {
            if (fs::exists(Prefix() / "drive_c" / programFiles / "Lingora" / "Install.log"))
                installFolder_ = programFiles;
        }
        ASSERT_FALSE(installFolder_.empty())
            << "no Install.log in C:\\Program Files (x86)\\Lingora or C:\\Program Files\\Lingora";
        // The programs that the checks start are this build's.
        for (const char* program : {"Lingora.exe", "Uninst.exe"}) {
            const std::string installed = TempFolder::ReadFile(InstallFolderOnHost() / program);
            ASSERT_TRUE(!installed.empty() &&
                        installed == TempFolder::ReadFile(fs::path(payload.Folder) / program))
                << InstallFolder() << "\\" << program << " is not the one of " << payload.Name;
        }
    }

    static fs::path Prefix() { return folder_->Path() / "prefix"; }
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
    static std::string skipped_, setup_, fault_;
    static std::vector<const Payload*> payloads_;  // in the order the tests install them
    static std::string shown_;                     // the payloads, as the output names them
    static std::string installFolder_;             // below C:
    static bool ready_;
};

template <typename Kind>
TempFolder* WineRunTest<Kind>::folder_ = nullptr;
template <typename Kind>
std::string WineRunTest<Kind>::skipped_;
template <typename Kind>
std::string WineRunTest<Kind>::setup_;
template <typename Kind>
std::string WineRunTest<Kind>::fault_;
template <typename Kind>
std::vector<const Payload*> WineRunTest<Kind>::payloads_;
template <typename Kind>
std::string WineRunTest<Kind>::shown_;
template <typename Kind>
std::string WineRunTest<Kind>::installFolder_;
template <typename Kind>
bool WineRunTest<Kind>::ready_ = false;

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
    for (const Payload* payload : this->payloads_) {
        SCOPED_TRACE(payload->Name);
        ASSERT_NO_FATAL_FAILURE(this->Install(*payload));
        const std::string entry = this->Run("timeout 120 wine reg query " + this->UninstallKey());
        EXPECT_NE(entry.find("DisplayName    REG_SZ    Lingora"), std::string::npos) << entry;
        EXPECT_NE(
            entry.find("UninstallString    REG_SZ    " + this->InstallFolder() + "\\Uninst.exe"),
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
}

TYPED_TEST(WineRunTest, ShortcutsAndTheFileTypeStartTheProgramsAsRecorded) {
    for (const Payload* payload : this->payloads_) {
        SCOPED_TRACE(payload->Name);
        ASSERT_NO_FATAL_FAILURE(this->Install(*payload));
        const std::string shortcuts = this->ProgramsFolder() + "\\Lingora\\";
        // The shortcut's working folder, no argument.
        EXPECT_EQ(this->Start(shortcuts + "Lingora.lnk"),
                  "folder=" + this->InstallFolder() + "\r\n");
        // The uninstaller asks first; without a display nobody answers yes, so
        // nothing is removed.
        EXPECT_EQ(this->Start(shortcuts + "Uninstall Lingora.lnk"),
                  "folder=" + this->InstallFolder() + "\r\n");
        EXPECT_TRUE(fs::exists(this->InstallFolderOnHost() / "Install.log"));

        // A word list whose path holds blanks reaches Lingora as one argument.
        const fs::path list = this->Prefix() / "drive_c" / "Mijn lijsten" / "Reis woorden.wdl";
        fs::create_directories(list.parent_path());
        fs::copy_file(this->InstallFolderOnHost() / "Voorbeeld.wdl", list,
                      fs::copy_options::overwrite_existing);
        const std::string record = this->Start("C:\\Mijn lijsten\\Reis woorden.wdl");
        EXPECT_NE(record.find("\r\nargument=C:\\Mijn lijsten\\Reis woorden.wdl\r\n"),
                  std::string::npos)
            << record;
    }
}

TYPED_TEST(WineRunTest, TheUninstallEntrysCommandRemovesEverything) {
    for (const Payload* payload : this->payloads_) {
        SCOPED_TRACE(payload->Name);
        ASSERT_NO_FATAL_FAILURE(this->Install(*payload));
        // The entry's command, answered yes without a window.
        int status = 0;
        const std::string said = this->Run(
            "timeout 120 wine " + ShellQuoted(this->InstallFolder() + "\\Uninst.exe") + " /S",
            &status);
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
        EXPECT_NE(missing, 0) << "the uninstall entry is left";
        this->Run("timeout 120 wine reg query 'HKCR\\.wdl'", &missing);
        EXPECT_NE(missing, 0) << "HKCR\\.wdl is left";
        this->Run("timeout 120 wine reg query 'HKCR\\Lingora.Wordlist'", &missing);
        EXPECT_NE(missing, 0) << "HKCR\\Lingora.Wordlist is left";
        const std::string list = this->Run("timeout 120 wine uninstaller --list");
        EXPECT_EQ(list.find("Lingora"), std::string::npos) << list;
    }
}

namespace {

// The demonstration's set, built into folder, installed into prefix by Setup,
// unattended, through `start` (a command that starts Setup, such as
// "env -u WINEARCH"): 0 and what Setup said, or the failed step's status and output.
int InstallDemoSet(const TempFolder& folder, const fs::path& prefix, const std::string& start,
                   const std::string& options, std::string& said) {
    int status = 0;
    said = RunOnPrefix(prefix,
                       std::string(SETUPVOL_PATH) + " build " + DEMO_PAYLOAD_PATH + " " +
                           ShellQuoted((folder.Path() / "volumes").string()),
                       &status);
    if (status != 0) return status;
    said =
        RunOnPrefix(prefix,
                    start + " " + ShellQuoted(SETUP_PATH) + " --unattended --accept-licence " +
                        options + " --source " + ShellQuoted((folder.Path() / "volumes").string()),
                    &status);
    return status;
}

// Wine takes the prefix over on its first start and finds the uninstall entry.
void ExpectWineFindsTheEntry(const fs::path& prefix, bool win64) {
    int status = 0;
    const std::string said =
        RunOnPrefix(prefix,
                    "timeout 240 wine reg query "
                    "'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lingora'" +
                        std::string(win64 ? " /reg:32" : ""),
                    &status);
    EndServer(prefix);
    EXPECT_EQ(status, 0) << said;
    EXPECT_EQ(said.find("cannot support"), std::string::npos) << said;
    EXPECT_NE(said.find("DisplayName    REG_SZ    Lingora"), std::string::npos) << said;
}

}  // namespace

// The prefix that Setup lays down itself, without WINEARCH, is of a kind that
// the installed Wine opens.
TEST(SetupsOwnPrefixTest, WineOpensIt) {
    if (!WineInstalled()) GTEST_SKIP() << "Wine is not installed";
    TempFolder folder;
    const fs::path prefix = folder.Path() / "prefix";
    std::string said;
    ASSERT_EQ(InstallDemoSet(folder, prefix, "env -u WINEARCH", "--quiet", said), 0) << said;
    const WineInstallation wine = WineInstallation::FindOnPath();
    const bool win64 =
        TempFolder::ReadFile(prefix / "system.reg").find("\n#arch=win64\n") != std::string::npos;
    EXPECT_EQ(win64, wine.Runs64);
    ExpectWineFindsTheEntry(prefix, win64);
}

// Setup on a machine without Wine (none on its PATH): it installs all the same,
// into a prefix of the kind that Debian's wine opens on this architecture, and
// says once that Wine is needed. The Wine installed afterwards (here: the one
// on the test's PATH) opens that prefix and finds the entry.
TEST(SetupsOwnPrefixTest, MadeWithoutWineTheWineInstalledLaterOpensIt) {
    if (!WineInstalled()) GTEST_SKIP() << "Wine is not installed";
    const bool win64 = sizeof(void*) == 8;
    if (!(win64 ? WineInstallation::FindOnPath().Runs64 : WineInstallation::FindOnPath().Runs32))
        GTEST_SKIP() << "the installed Wine is not Debian's wine of this architecture";
    TempFolder folder;
    const fs::path prefix = folder.Path() / "prefix";
    const fs::path noWine = folder.Path() / "bin";  // a PATH without wine
    fs::create_directories(noWine);
    std::string said;
    ASSERT_EQ(InstallDemoSet(folder, prefix, "env -u WINEARCH PATH=" + ShellQuoted(noWine.string()),
                             "--quiet --no-desktop-entries", said),
              0)
        << said;
    const std::string warning = "lingora-setup: warning: Wine is not installed on this computer.";
    EXPECT_NE(said.find(warning), std::string::npos) << said;
    EXPECT_EQ(said.find(warning), said.rfind(warning)) << "said more than once:\n" << said;
    EXPECT_NE(said.find("install the package wine"), std::string::npos) << said;
    EXPECT_NE(TempFolder::ReadFile(prefix / "system.reg")
                  .find(win64 ? "\n#arch=win64\n" : "\n#arch=win32\n"),
              std::string::npos);
    ExpectWineFindsTheEntry(prefix, win64);
}
