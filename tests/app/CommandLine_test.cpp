// The program itself, started as a process with no display at all: its
// options, help, exit codes, and an installation and removal from end to end.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLibraryInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TempFolder.h"
#include "tests/support/VolumeSetWriter.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int code = -1;
    std::string out, err;
};

class CommandLineTest : public testing::Test {
  protected:
    // Runs Setup in the volumes' folder (or startIn_) with only PATH, HOME (a
    // temporary one) and WINEPREFIX: no DISPLAY, no WAYLAND_DISPLAY, no
    // QT_QPA_PLATFORM, no XDG folders. extra adds variables or replaces these.
    Outcome Setup(const QStringList& arguments, const std::string& prefix = "",
                  const QProcessEnvironment& extra = {}) {
        QProcessEnvironment environment;
        environment.insert("PATH", qEnvironmentVariable("PATH"));
        environment.insert("HOME", QString::fromStdString(temp_.Path().string()));
        environment.insert("WINEPREFIX",
                           QString::fromStdString(prefix.empty() ? Prefix().string() : prefix));
        environment.insert(extra);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(
            QString::fromStdString((startIn_.empty() ? Volumes() : startIn_).string()));
        process.start(program_.isEmpty() ? QString(SETUP_PATH) : program_, arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        Outcome outcome;
        outcome.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
        outcome.out = process.readAllStandardOutput().toStdString();
        outcome.err = process.readAllStandardError().toStdString();
        return outcome;
    }
    fs::path Prefix() const { return temp_.Path() / "prefix"; }
    // Where Setup, a 32-bit program, installs by default: the kind of the new
    // prefix depends on the Wine installed.
    fs::path Installed() const {
        const bool win64 = TempFolder::ReadFile(Prefix() / "system.reg").find("\n#arch=win64\n") !=
                           std::string::npos;
        return Prefix() / "drive_c" / (win64 ? "Program Files (x86)" : "Program Files") / "Lingora";
    }
    fs::path Volumes() const { return temp_.Path() / "volumes"; }
    // The set on one disk, with a file in a folder of its own.
    void WriteOneDiskWithAFolder() const {
        testset::WriteVolumeSet(Volumes(),
                                {{"Lingora.exe", "program"},
                                 {"Lingohlp.hlp", "help"},
                                 {"Uninst.exe", "uninstaller"},
                                 {"Words\\Keuken.wdl", "words"}},
                                100000);
    }

    void SetUp() override {
        // Three volumes.
        testset::WriteVolumeSet(Volumes(),
                                {{"Lingora.exe", testset::Pattern(1500, 1)},
                                 {"Lingohlp.hlp", testset::Pattern(500, 2)},
                                 {"Uninst.exe", "uninstaller"}},
                                1000);
    }

    TempFolder temp_;
    fs::path startIn_;
    QString program_;  // another copy of Setup to start; empty: the build's
};

TEST_F(CommandLineTest, WithoutADisplayTheWizardPointsToTheUnattendedMode) {
    const Outcome outcome = Setup({});
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_NE(outcome.err.find("needs a display"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("--unattended"), std::string::npos) << outcome.err;
    EXPECT_FALSE(fs::exists(Prefix()));
}

// DISPLAY names a display where no X server answers: the same advice, naming
// it, instead of Qt's abort.
TEST_F(CommandLineTest, AnUnreachableDisplayIsNamedNotAborted) {
    QProcessEnvironment display;
    display.insert("DISPLAY", ":1987");
    ASSERT_FALSE(fs::exists("/tmp/.X11-unix/X1987")) << "a display :1987 exists here";
    const Outcome outcome = Setup({}, "", display);
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_NE(outcome.err.find("cannot open the display :1987"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("--unattended"), std::string::npos) << outcome.err;
    EXPECT_FALSE(fs::exists(Prefix()));
}

// WAYLAND_DISPLAY names a compositor that is gone: Qt would try it, then X, and
// abort when neither starts. Setup names each display it tried, in Qt's order.
TEST_F(CommandLineTest, AnUnreachableWaylandDisplayIsNamedNotAborted) {
    const fs::path runtime = temp_.Path() / "runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    QProcessEnvironment session;
    session.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
    session.insert("WAYLAND_DISPLAY", "lingora-gone");
    // The reason depends on whether Qt's Wayland plugin is installed here.
    const bool plugin = fs::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() +
                                   "/platforms/libqwayland-generic.so");
    const std::string reason = plugin ? "lingora-gone (WAYLAND_DISPLAY): no Wayland compositor"
                                      : "lingora-gone (WAYLAND_DISPLAY): Qt's Wayland platform "
                                        "plugin is not installed (Debian package qt6-wayland)";
    Outcome outcome = Setup({}, "", session);
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_NE(outcome.err.find("cannot open the Wayland display " + reason), std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find("--unattended"), std::string::npos) << outcome.err;

    // X is tried next, as Qt falls back to it.
    ASSERT_FALSE(fs::exists("/tmp/.X11-unix/X1987")) << "a display :1987 exists here";
    session.insert("DISPLAY", ":1987");
    outcome = Setup({}, "", session);
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_NE(outcome.err.find(reason), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("; nor the display :1987 (DISPLAY): no X server answers there"),
              std::string::npos)
        << outcome.err;
    EXPECT_FALSE(fs::exists(Prefix()));
}

// A Wayland session where Qt has no Wayland plugin: a copy of Setup whose
// qt.conf gives it a plugin folder without one names the package that brings it.
TEST_F(CommandLineTest, AMissingWaylandPluginNamesItsPackage) {
    const fs::path alone = temp_.Path() / "alone";
    fs::create_directories(alone / "plugins" / "platforms");
    fs::copy_file(SETUP_PATH, alone / "lingora-setup");
    std::ofstream(alone / "qt.conf") << "[Paths]\nPlugins = plugins\n";
    program_ = QString::fromStdString((alone / "lingora-setup").string());
    QProcessEnvironment session;
    session.insert("WAYLAND_DISPLAY", "wayland-0");
    const Outcome outcome = Setup({}, "", session);
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_NE(outcome.err.find("cannot open the Wayland display wayland-0 (WAYLAND_DISPLAY): Qt's "
                               "Wayland platform plugin is not installed (Debian package "
                               "qt6-wayland)"),
              std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find("--unattended"), std::string::npos) << outcome.err;
    EXPECT_FALSE(fs::exists(Prefix()));
}

// A session that ends (SIGTERM, SIGHUP) closes the wizard as the exit question's
// Exit does, instead of killing it (here on its welcome page).

// A session that ends (SIGINT, SIGTERM, SIGHUP) closes the wizard as the exit
// question's Exit does, instead of killing it (here on its welcome page).
TEST_F(CommandLineTest, TheWizardClosesAsExitWhenTheSessionEnds) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        fs::remove_all(Prefix());
        QProcessEnvironment environment;
        environment.insert("PATH", qEnvironmentVariable("PATH"));
        environment.insert("HOME", QString::fromStdString(temp_.Path().string()));
        environment.insert("WINEPREFIX", QString::fromStdString(Prefix().string()));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess wizard;
        wizard.setProcessEnvironment(environment);
        wizard.start(SETUP_PATH, {});
        ASSERT_TRUE(wizard.waitForStarted(10000));
        // The prefix is laid down once the signals are caught, just before the window.
        for (int i = 0; i < 500 && !fs::exists(Prefix() / "system.reg"); ++i) QThread::msleep(10);
        ASSERT_TRUE(fs::exists(Prefix() / "system.reg"))
            << wizard.readAllStandardError().toStdString();
        QThread::msleep(300);
        ::kill(static_cast<pid_t>(wizard.processId()), signal);
        ASSERT_TRUE(wizard.waitForFinished(10000))
            << "the wizard stays open after signal " << signal;
        EXPECT_EQ(wizard.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(wizard.exitCode(), 0) << wizard.readAllStandardError().toStdString();
        // Nothing was confirmed: the prefix laid down for the wizard is gone again.
        EXPECT_FALSE(fs::exists(Prefix())) << signal;
    }
}

TEST_F(CommandLineTest, HelpVersionLicenceAndUsageErrors) {
    Outcome outcome = Setup({"--help"});
    EXPECT_EQ(outcome.code, 0);
    for (const char* words : {"--unattended", "--uninstall", "--accept-licence", "--dir", "--group",
                              "--source", "Exit codes:", "4  a data volume is missing"})
        EXPECT_NE(outcome.out.find(words), std::string::npos) << words << "\n" << outcome.out;
    EXPECT_EQ(Setup({"--version"}).out, "lingora-setup (Lingora Setup) 2.0\n");
    outcome = Setup({"--licence"});
    EXPECT_EQ(outcome.code, 0);
    EXPECT_GT(outcome.out.size(), 500u);
    EXPECT_EQ(outcome.out.find('\r'), std::string::npos);

    for (const QStringList& wrong :
         {QStringList{"--bogus"}, QStringList{"--unattended", "--uninstall"},
          QStringList{"--dir", "C:\\x"}, QStringList{"--unattended", "extra"},
          QStringList{"--unattended", "--dir"},
          QStringList{"--unattended", "--accept-licence", "--dir", "Lingora"},
          QStringList{"--unattended", "--accept-licence", "--dir", "\\Lingora"},
          QStringList{"--unattended", "--save-answers", "a.ini"}, QStringList{"--answers", "a.ini"},
          QStringList{"--licence", "--log", "setup.log"},
          QStringList{"--uninstall", "--unless-installed"}}) {
        outcome = Setup(wrong);
        EXPECT_EQ(outcome.code, 2) << wrong.join(' ').toStdString() << ": " << outcome.err;
        EXPECT_NE(outcome.err.find("lingora-setup --help"), std::string::npos) << outcome.err;
    }
    outcome = Setup({"--unattended", "--accept-licence"}, "relative/prefix");
    EXPECT_EQ(outcome.code, 2) << outcome.err;
    EXPECT_NE(outcome.err.find("absolute"), std::string::npos) << outcome.err;
    EXPECT_FALSE(fs::exists(Prefix()));
}

// Standard error a pipe that its reader has closed ("... 2>&1 | head -1"): the
// progress cannot be written, the installation goes on to its end.
TEST_F(CommandLineTest, AClosedPipeOnStandardErrorDoesNotStopTheInstallation) {
    const std::string command = "cd '" + Volumes().string() + "' && WINEPREFIX='" +
                                Prefix().string() + "' HOME='" + temp_.Path().string() + "' '" +
                                SETUP_PATH +
                                "' --unattended --accept-licence --no-desktop-entries 2>&1 | "
                                "true; exit ${PIPESTATUS[0]}";
    const fs::path script = temp_.Path() / "closed-pipe.sh";
    std::ofstream(script) << command << "\n";
    const int status = std::system(("bash '" + script.string() + "'").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(TempFolder::ReadFile(Installed() / "Uninst.exe"), "uninstaller");
    EXPECT_NE(TempFolder::ReadFile(Prefix() / "system.reg").find("Lingora.Wordlist"),
              std::string::npos);
}

TEST_F(CommandLineTest, APathNamesTheSetOfTheWizardAndOfTheUnattendedMode) {
    // Started elsewhere, as the desktop starts it on a disk's first volume.
    startIn_ = temp_.Path();
    const QString first = QString::fromStdString((Volumes() / "Setup.d01").string());
    const QString volumes = QString::fromStdString(Volumes().string());
    const QString nowhere = QString::fromStdString((temp_.Path() / "nowhere").string());
    // Refused before anything else: no prefix laid down, no display asked for.
    for (const auto& [arguments, reason] : std::vector<std::pair<QStringList, std::string>>{
             {{nowhere}, "'" + nowhere.toStdString() + "' does not exist"},
             {{QString::fromStdString(temp_.Path().string())}, "holds no Setup.d01"},
             {{"--unattended", "--accept-licence", nowhere}, "does not exist"},
             {{"--uninstall", first}, "PATH goes with the wizard or --unattended"},
             {{"--unattended", "--accept-licence", "--source", volumes, first}, "PATH or --source"},
             {{first, first}, "unexpected argument"},
             {{"--quiet", first}, "--quiet goes with"},
             {{"--dir", "C:\\x", first}, "--dir goes with --unattended"}}) {
        const Outcome outcome = Setup(arguments);
        EXPECT_EQ(outcome.code, 2) << arguments.join(' ').toStdString() << ": " << outcome.err;
        EXPECT_NE(outcome.err.find("lingora-setup: "), std::string::npos) << outcome.err;
        EXPECT_NE(outcome.err.find(reason), std::string::npos) << outcome.err;
        EXPECT_NE(outcome.err.find("Try 'lingora-setup --help'."), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(Prefix()));
    // Accepted, the wizard then needs a display.
    EXPECT_EQ(Setup({first}).code, 3);
    EXPECT_EQ(Setup({volumes}).code, 3);
    EXPECT_FALSE(fs::exists(Prefix()));

    // Unattended, PATH is the folder of the volumes.
    Outcome outcome = Setup({"--unattended", "--accept-licence", "--quiet", first});
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_EQ(TempFolder::ReadFile(Installed() / "Uninst.exe"), "uninstaller");

    // The wizard holds no disk: its source is PATH's folder, its working folder "/"
    // (that it installs from there, the entry's test shows).
    QProcessEnvironment environment;
    environment.insert("PATH", qEnvironmentVariable("PATH"));
    environment.insert("HOME", QString::fromStdString(temp_.Path().string()));
    environment.insert("WINEPREFIX", QString::fromStdString(Prefix().string()));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess wizard;
    wizard.setProcessEnvironment(environment);
    wizard.setWorkingDirectory(QString::fromStdString(temp_.Path().string()));
    wizard.start(SETUP_PATH, {first});
    ASSERT_TRUE(wizard.waitForStarted(10000));
    const fs::path cwd = "/proc/" + std::to_string(wizard.processId()) + "/cwd";
    std::error_code error;
    for (int i = 0; i < 200 && fs::read_symlink(cwd, error) != "/"; ++i) wizard.waitForFinished(50);
    EXPECT_EQ(fs::read_symlink(cwd, error), "/");
    EXPECT_EQ(wizard.state(), QProcess::Running) << wizard.readAllStandardError().toStdString();
    wizard.kill();
    wizard.waitForFinished(10000);
}

TEST_F(CommandLineTest, WineRunningOnThePrefixIsRefusedBeforeAnyChange) {
    if (std::system("command -v wineserver >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "Wine is not installed";
    ASSERT_EQ(Setup({"--unattended", "--accept-licence", "--quiet"}).code, 0);
    const std::string wine = "WINEPREFIX='" + Prefix().string() + "' wineserver";
    // The server goes to the background once it holds the prefix.
    ASSERT_EQ(std::system((wine + " -p10").c_str()), 0);
    const std::string log = TempFolder::ReadFile(Installed() / "Install.log");
    ASSERT_FALSE(log.empty());
    Outcome outcome = Setup({"--uninstall"});
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_NE(outcome.err.find("close the programs that run in this Wine prefix"),
              std::string::npos)
        << outcome.err;
    outcome = Setup({"--unattended", "--accept-licence", "--dir", "C:\\Other"});
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    std::system((wine + " -k; " + wine + " -w").c_str());
    EXPECT_EQ(TempFolder::ReadFile(Installed() / "Install.log"), log);
    EXPECT_FALSE(fs::exists(Prefix() / "drive_c" / "Other"));
}

TEST_F(CommandLineTest, ANewPrefixIsOfTheKindTheInstalledWineRuns) {
    // A Wine with only its 64-bit half, laid out as Debian lays it out.
    temp_.WriteFile("usr/bin/wine", "#!/bin/sh\n");
    temp_.WriteFile("usr/lib/wine/wine64", std::string("\x7f"
                                                       "ELF\x02",
                                                       5));
    temp_.WriteFile("usr/lib/x86_64-linux-gnu/wine/x86_64-unix/ntdll.so", "");
    QProcessEnvironment environment;
    environment.insert("PATH", QString::fromStdString((temp_.Path() / "usr/bin").string()));

    environment.insert("WINEARCH", "win32");
    Outcome outcome = Setup({"--unattended", "--accept-licence"}, "", environment);
    EXPECT_EQ(outcome.code, 2) << outcome.err;
    EXPECT_NE(outcome.err.find("WINEARCH is win32, but the Wine installed here runs only 64-bit"),
              std::string::npos)
        << outcome.err;
    EXPECT_FALSE(fs::exists(Prefix()));

    environment.remove("WINEARCH");
    outcome = Setup({"--unattended", "--accept-licence"}, "", environment);
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_NE(TempFolder::ReadFile(Prefix() / "system.reg").find("\n#arch=win64\n"),
              std::string::npos);
    // The 32-bit program's folder on a 64-bit prefix.
    EXPECT_TRUE(
        fs::exists(Prefix() / "drive_c" / "Program Files (x86)" / "Lingora" / "Install.log"));

    // An existing prefix keeps its kind, whatever WINEARCH says.
    environment.insert("WINEARCH", "win32");
    outcome = Setup({"--uninstall", "--quiet"}, "", environment);
    EXPECT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_NE(TempFolder::ReadFile(Prefix() / "system.reg").find("\n#arch=win64\n"),
              std::string::npos);
}

// A wineserver started on the prefix with environment settings of its own;
// ended and waited for however the test ends.
class WineServerProcess {
  public:
    explicit WineServerProcess(std::string environment)
        : wine_(std::move(environment) + " wineserver") {}
    ~WineServerProcess() { std::system((wine_ + " -k; " + wine_ + " -w").c_str()); }
    bool Start(int seconds) {
        return std::system((wine_ + " -p" + std::to_string(seconds) + " >/dev/null 2>&1 </dev/null")
                               .c_str()) == 0;
    }

  private:
    std::string wine_;
};

TEST_F(CommandLineTest, WineServerWithAnotherTemporaryFolderIsSeen) {
    if (std::system("command -v wineserver >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "Wine is not installed";
    ASSERT_EQ(Setup({"--unattended", "--accept-licence", "--quiet"}).code, 0);
    const fs::path installed = Installed();
    const std::string log = TempFolder::ReadFile(installed / "Install.log");
    ASSERT_FALSE(log.empty());
    const std::string system = TempFolder::ReadFile(Prefix() / "system.reg");
    // Its lock lies below that folder, where Setup (with no TMPDIR) does not look.
    const fs::path other = temp_.Path() / "other-tmp";
    fs::create_directories(other);
    WineServerProcess wine("TMPDIR='" + other.string() + "' WINEPREFIX='" + Prefix().string() +
                           "'");
    ASSERT_TRUE(wine.Start(30));

    Outcome outcome = Setup({"--unattended", "--accept-licence", "--dir", "C:\\Other"});
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_NE(outcome.err.find("close the programs that run in this Wine prefix"),
              std::string::npos)
        << outcome.err;
    outcome = Setup({"--uninstall"});
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_FALSE(fs::exists(Prefix() / "drive_c" / "Other"));
    EXPECT_EQ(TempFolder::ReadFile(installed / "Install.log"), log);
    EXPECT_TRUE(TempFolder::ReadFile(Prefix() / "system.reg") == system);
}

// While another process holds the prefix's lock, installing and removing are refused before any
// change and name that process; once it has ended they go through.
TEST_F(CommandLineTest, ASecondSetupOnThePrefixIsRefused) {
    ASSERT_EQ(Setup({"--unattended", "--accept-licence"}).code, 0);
    const std::string log = TempFolder::ReadFile(Installed() / "Install.log");
    // A process of its own that takes the lock as Setup takes it: flock(2) on
    // the folder, held until it is killed.
    QProcess holder;
    holder.start("perl", {"-MFcntl=:flock", "-e",
                          "$| = 1; open(my $f, '<', $ARGV[0]) "
                          "or die; flock($f, LOCK_EX) or die; print \"held\\n\"; sleep 60",
                          QString::fromStdString(Prefix().string())});
    if (!holder.waitForStarted(10000)) GTEST_SKIP() << "perl cannot be started here";
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    ASSERT_EQ(holder.readLine().toStdString(), "held\n");
    const std::string busy =
        "lingora-setup: another Setup is installing into or removing from this Wine prefix "
        "(process " +
        std::to_string(holder.processId()) + "). Nothing was changed.\n";
    Outcome outcome = Setup({"--unattended", "--accept-licence", "--dir", "C:\\Second"});
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_EQ(outcome.err, busy);
    outcome = Setup({"--uninstall"});
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_EQ(outcome.err, busy);
    EXPECT_FALSE(fs::exists(Prefix() / "drive_c" / "Second"));
    EXPECT_EQ(TempFolder::ReadFile(Installed() / "Install.log"), log);
    holder.kill();
    holder.waitForFinished();
    outcome = Setup({"--uninstall"});
    EXPECT_EQ(outcome.code, 0) << outcome.err;
}

// Wine's rule: a prefix that belongs to another user is refused, also for root.
TEST_F(CommandLineTest, APrefixOfAnotherUserIsRefusedInWinesWords) {
    fs::create_directories(Prefix());
    if (::chown(Prefix().c_str(), ::getuid() + 4242, ::getgid()) != 0)
        GTEST_SKIP() << "the prefix cannot be given to another user here (not root)";
    const Outcome outcome = Setup({"--unattended", "--accept-licence"});
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_NE(outcome.err.find("'" + Prefix().string() + "' is not owned by you"),
              std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find("Nothing was changed."), std::string::npos) << outcome.err;
    EXPECT_TRUE(fs::is_empty(Prefix()));
}

TEST_F(CommandLineTest, RemovalFromAFolderWithoutAPrefixLaysNoneDown) {
    const Outcome outcome = Setup({"--uninstall"});
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_NE(outcome.err.find("holds no Wine prefix"), std::string::npos) << outcome.err;
    EXPECT_FALSE(fs::exists(Prefix()));
}

// A prefix's folder that cannot be made (a file stands in its path) is named
// as such, in the sentence of a prefix that cannot be used.
TEST_F(CommandLineTest, APrefixFolderThatCannotBeMadeIsNamed) {
    std::ofstream(temp_.Path() / "a file") << "not a folder";
    const std::string prefix = (temp_.Path() / "a file" / "prefix").string();
    const Outcome outcome = Setup({"--unattended", "--accept-licence"}, prefix);
    EXPECT_EQ(outcome.code, 2) << outcome.err;
    EXPECT_NE(outcome.err.find("lingora-setup: Setup cannot use the Windows machine (Wine "
                               "prefix): cannot create the folder " +
                               prefix + ": "),
              std::string::npos)
        << outcome.err;
}

TEST_F(CommandLineTest, InstallsAndRemovesWithoutADisplay) {
    Outcome outcome = Setup({"--unattended", "--accept-licence", "--group", "Lingora 2"});
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    const fs::path installed = Installed();
    EXPECT_EQ(TempFolder::ReadFile(installed / "Uninst.exe"), "uninstaller");
    EXPECT_NE(outcome.err.find("Setup.d01: "), std::string::npos) << outcome.err;

    outcome = Setup({"--uninstall", "--quiet"});
    EXPECT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    EXPECT_FALSE(fs::exists(installed));
    outcome = Setup({"--uninstall"});
    EXPECT_EQ(outcome.code, 3);
    EXPECT_NE(outcome.err.find("not installed"), std::string::npos) << outcome.err;

    // The volumes from elsewhere, and one of them missing.
    fs::rename(Volumes() / "Setup.d02", temp_.Path() / "aside");
    outcome = Setup({"--unattended", "--accept-licence", "--source", Volumes().c_str()});
    EXPECT_EQ(outcome.code, 4) << outcome.err;
    EXPECT_NE(outcome.err.find("Setup.d02 (disk 2)"), std::string::npos) << outcome.err;
}

TEST_F(CommandLineTest, DesktopEntriesCanBeSwitchedOff) {
    const fs::path menu = temp_.Path() / ".local" / "share" / "applications" / "wine" / "Programs";
    Outcome outcome = Setup({"--unattended", "--accept-licence", "--no-desktop-entries"});
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_FALSE(fs::exists(temp_.Path() / ".local"));
    EXPECT_EQ(Setup({"--uninstall", "--no-desktop-entries"}).code, 2);

    QProcessEnvironment switchedOff;
    switchedOff.insert("WINEDLLOVERRIDES", "mscoree=;winemenubuilder.exe=d");
    outcome = Setup({"--unattended", "--accept-licence", "--quiet"}, "", switchedOff);
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_FALSE(fs::exists(temp_.Path() / ".local"));

    // By default the entries go to ~/.local/share and ~/.config, and with the removal.
    outcome = Setup({"--unattended", "--accept-licence", "--quiet"});
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_TRUE(fs::exists(menu / "Lingora" / "Lingora.desktop"));
    EXPECT_TRUE(fs::exists(temp_.Path() / ".config" / "menus" / "applications-merged" /
                           "wine-Programs-Lingora-Lingora.menu"));
    outcome = Setup({"--uninstall", "--quiet"});
    EXPECT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_FALSE(fs::exists(menu));
}

// The user's Programs folder of the prefix on the host.
fs::path ProgramsOf(const fs::path& prefix) {
    for (const fs::directory_entry& user : fs::directory_iterator(prefix / "drive_c" / "users")) {
        const fs::path programs =
            user.path() / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs";
        if (fs::exists(programs)) return programs;
    }
    return {};
}

TEST_F(CommandLineTest, UninstallDirRemovesTheInstallationOfThatFolder) {
    Outcome outcome = Setup({"--unattended", "--accept-licence", "--dir", "C:\\Apps\\Lingora"});
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    const fs::path installed = Prefix() / "drive_c" / "Apps" / "Lingora";
    ASSERT_TRUE(fs::exists(installed / "Uninst.exe"));
    outcome = Setup({"--uninstall", "--dir", "C:\\Apps\\Lingora"});
    EXPECT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("is removed from C:\\Apps\\Lingora"), std::string::npos)
        << outcome.err;
    EXPECT_FALSE(fs::exists(installed));
    // The uninstall entry named that folder: it went with it.
    EXPECT_EQ(Setup({"--uninstall"}).code, 3);
}

// A folder given in another case than the one registered is that folder to
// Windows, also where the letter that differs is not ASCII: the uninstall entry
// that names it goes with it.
TEST_F(CommandLineTest, UninstallDirMatchesTheRegisteredFolderInAnyCaseOfItsLetters) {
    Outcome outcome =
        Setup({"--unattended", "--accept-licence", "--dir", "C:\\Programme\\W\u00f6rter"});
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    const fs::path installed = Prefix() / "drive_c" / "Programme" / "W\u00f6rter";
    ASSERT_TRUE(fs::exists(installed / "Uninst.exe"));
    const std::string entry = "\\\\Uninstall\\\\Lingora]";  // the key's line in system.reg
    ASSERT_NE(TempFolder::ReadFile(Prefix() / "system.reg").find(entry), std::string::npos);
    outcome = Setup({"--uninstall", "--dir", "c:\\programme\\w\u00d6rter"});
    EXPECT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_FALSE(fs::exists(installed));
    EXPECT_EQ(TempFolder::ReadFile(Prefix() / "system.reg").find(entry), std::string::npos)
        << "the uninstall entry of the folder removed stayed";
}

// Links planted in the installation and Start-menu folders after the
// installation: the removal deletes nothing they lead to, names them, and
// keeps the record for a second run.
TEST_F(CommandLineTest, TheRemovalNeverFollowsALinkOutOfItsFolders) {
    WriteOneDiskWithAFolder();
    Outcome outcome = Setup({"--unattended", "--accept-licence"});
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    const fs::path installed = Installed();
    const fs::path outside = temp_.Path() / "outside";
    fs::create_directories(outside / "words");
    fs::create_directories(outside / "menu");
    std::ofstream(outside / "words" / "Keuken.wdl") << "someone else's";
    std::ofstream(outside / "menu" / "Lingora.lnk") << "someone else's";
    fs::remove_all(installed / "Words");
    fs::create_directory_symlink(outside / "words", installed / "Words");
    const fs::path menu = ProgramsOf(Prefix()) / "Lingora";
    fs::remove_all(menu);
    fs::create_directory_symlink(outside / "menu", menu);

    outcome = Setup({"--uninstall"});
    EXPECT_EQ(outcome.code, 1) << outcome.err;
    EXPECT_EQ(TempFolder::ReadFile(outside / "words" / "Keuken.wdl"), "someone else's");
    EXPECT_EQ(TempFolder::ReadFile(outside / "menu" / "Lingora.lnk"), "someone else's");
    EXPECT_NE(outcome.err.find("lie behind a link"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("Lingora.lnk"), std::string::npos) << outcome.err;
    EXPECT_FALSE(fs::exists(installed / "Lingora.exe"));
    EXPECT_TRUE(fs::exists(installed / "Install.log"));

    // With the links gone, a second run finishes the job.
    fs::remove(installed / "Words");
    fs::remove(menu);
    outcome = Setup({"--uninstall"});
    EXPECT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_FALSE(fs::exists(installed));
}

// Folders too long for what goes into them are refused before the earlier
// installation is touched.
TEST_F(CommandLineTest, FoldersTooLongForTheirFilesAreRefusedBeforeAnyChange) {
    // One disk: its headers tell the longest name.
    WriteOneDiskWithAFolder();
    Outcome outcome = Setup({"--unattended", "--accept-licence"});
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    const fs::path installed = Installed();
    const std::string log = TempFolder::ReadFile(installed / "Install.log");

    // 243 characters: a folder Windows makes, but "Words\Keuken.wdl" cannot go in it.
    const std::string longFolder = "C:\\Apps\\" + std::string(235, 'y');
    outcome = Setup({"--unattended", "--accept-licence", "--dir", longFolder.c_str()});
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_NE(outcome.err.find("more than the 259"), std::string::npos) << outcome.err;
    EXPECT_FALSE(fs::exists(Prefix() / "drive_c" / "Apps"));
    EXPECT_EQ(TempFolder::ReadFile(installed / "Install.log"), log);
    EXPECT_TRUE(fs::exists(installed / "Lingora.exe"));

    // A Start-menu folder that "Uninstall Lingora.lnk" does not fit in.
    outcome = Setup({"--unattended", "--accept-licence", "--group", std::string(178, 'g').c_str()});
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_NE(outcome.err.find("longest shortcut"), std::string::npos) << outcome.err;
    EXPECT_TRUE(fs::exists(installed / "Lingora.exe"));

    // The root of a drive is no installation folder.
    outcome = Setup({"--unattended", "--accept-licence", "--dir", "C:\\"});
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_NE(outcome.err.find("root of a drive"), std::string::npos) << outcome.err;
    EXPECT_TRUE(fs::exists(installed / "Lingora.exe"));
}

TEST_F(CommandLineTest, AShortcutThatCannotBeMadeIsNamed) {
    ASSERT_EQ(Setup({"--unattended", "--accept-licence", "--quiet"}).code, 0);
    // A folder where a shortcut file would go.
    fs::create_directories(ProgramsOf(Prefix()) / "Other" / "Lingora Help.lnk");
    const Outcome outcome = Setup({"--unattended", "--accept-licence", "--group", "Other"});
    EXPECT_EQ(outcome.code, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("\"Lingora Help.lnk\" could not be made"), std::string::npos)
        << outcome.err;
    EXPECT_EQ(outcome.err.find("with its shortcuts"), std::string::npos) << outcome.err;
    EXPECT_TRUE(fs::exists(ProgramsOf(Prefix()) / "Other" / "Lingora.lnk"));
}

TEST_F(CommandLineTest, ARefusalLaysDownNoPrefix) {
    Outcome outcome = Setup({"--unattended"});
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_FALSE(fs::exists(Prefix()));
    outcome = Setup({"--unattended", "--accept-licence", "--dir", "C:\\CON\\x"});
    EXPECT_EQ(outcome.code, 3) << outcome.err;
    EXPECT_FALSE(fs::exists(Prefix()));
    // An existing empty folder stays, and stays empty.
    fs::create_directories(Prefix());
    EXPECT_EQ(Setup({"--unattended"}).code, 3);
    EXPECT_TRUE(fs::exists(Prefix()));
    EXPECT_TRUE(fs::is_empty(Prefix()));
}

// Copies left by earlier runs whose process is gone are removed at start; a
// folder that only looks like one (another mode, more inside) stays.
TEST_F(CommandLineTest, StaleCopiesOfEarlierRunsAreRemovedAndNothingElse) {
    const fs::path temp = temp_.Path() / "tmp";
    const auto copyFolder = [&](const std::string& name, fs::perms mode, bool extra) {
        const fs::path folder = temp / name;
        fs::create_directories(folder);
        std::ofstream(folder / "lingora-setup") << "copy";
        if (extra) std::ofstream(folder / "Notes.txt") << "mine";
        fs::permissions(folder, mode, fs::perm_options::replace);
        return folder;
    };
    const fs::path stale =
        copyFolder("lingora-setup-999999999-aB3dE9", fs::perms::owner_all, false);
    const fs::path shared = copyFolder("lingora-setup-999999998-aB3dE9",
                                       fs::perms::owner_all | fs::perms::group_read, false);
    const fs::path holding =
        copyFolder("lingora-setup-999999997-aB3dE9", fs::perms::owner_all, true);
    QProcessEnvironment tmpdir;
    tmpdir.insert("TMPDIR", QString::fromStdString((temp / "." / ".." / "tmp").string() + "/"));
    EXPECT_EQ(Setup({"--version"}, "", tmpdir).code, 0);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(shared / "lingora-setup"));
    EXPECT_TRUE(fs::exists(holding / "Notes.txt"));
}

// The variable that names the private copy's folder names no folder that Setup
// did not make: the program there stays.
TEST_F(CommandLineTest, TheCopysVariableCannotAimTheRemoval) {
    const fs::path bin = temp_.Path() / "x" / "bin";
    fs::create_directories(bin);
    fs::copy_file(SETUP_PATH, bin / "lingora-setup");
    fs::permissions(bin, fs::perms::owner_all, fs::perm_options::replace);
    QProcessEnvironment aimed;
    for (const std::string& named :
         {bin.string(), bin.string() + "/./", bin.string() + "/../bin"}) {
        aimed.insert("LINGORA_SETUP_COPY", QString::fromStdString(named));
        QProcess process;
        process.setProcessEnvironment(aimed);
        process.start(QString::fromStdString((bin / "lingora-setup").string()), {"--version"});
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_TRUE(fs::exists(bin / "lingora-setup")) << named;
    }
}

// The lines of a diagnostic log, each checked to begin with its time stamp
// ("2026-12-09 17:08:02.123 +0100 ").
std::vector<std::string> LogLines(const fs::path& file) {
    const std::string text = TempFolder::ReadFile(file);
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = text.substr(at, end - at);
        const bool stamped = line.size() > 30 && line[4] == '-' && line[10] == ' ' &&
                             line[13] == ':' && line[19] == '.' && line[23] == ' ' &&
                             (line[24] == '+' || line[24] == '-') && line[29] == ' ';
        EXPECT_TRUE(stamped) << "not a stamped line: " << line;
        lines.push_back(line.substr(30));
    }
    EXPECT_EQ(at, text.size()) << "the log ends inside a line: " << text.substr(at);
    return lines;
}

std::size_t Count(const std::vector<std::string>& lines, const std::string& start) {
    std::size_t count = 0;
    for (const std::string& line : lines) count += line.rfind(start, 0) == 0;
    return count;
}

// A fault in an answer file names its line and changes nothing (exit code 2),
// as does a missing one; a log that cannot be opened refuses the run (3). A
// good file gives the folders, the command line wins over it, and a second run
// with --unless-installed changes nothing and says so; the log of both runs
// is one file, appended to.
TEST_F(CommandLineTest, AnswerFilesAndTheDiagnosticLogBeforeAnyChange) {
    const fs::path answers = temp_.Path() / "answers.ini";
    const std::pair<std::string, std::string> faults[] = {
        {"; comment\n[Setup]\nFolder=C:\\\\Lingora\n", "line 3: unknown key \"Folder\""},
        {"[Setup]\nKeepVersion1=ja\n", "line 2: KeepVersion1 must be true or false"},
        {"[Setup]\r\n\r\nInstallFolder=Lingora\r\n", "line 3: InstallFolder must be a full"},
        {"InstallFolder=C:\\\\Lingora\n", "line 1: the key \"InstallFolder\" stands before"},
        {"[Install]\nInstallFolder=C:\\\\Lingora\n", "line 1: unknown section [Install]"},
        {"[Setup]\nRestart=true\nRestart=false\n", "line 3: the key \"Restart\" is given twice"},
    };
    for (const auto& [text, message] : faults) {
        temp_.WriteFile("answers.ini", text);
        const Outcome outcome =
            Setup({"--unattended", "--accept-licence", "--answers", answers.c_str()});
        EXPECT_EQ(outcome.code, 2) << text;
        EXPECT_NE(outcome.err.find(answers.string() + ": " + message), std::string::npos)
            << outcome.err;
    }
    Outcome outcome = Setup({"--unattended", "--accept-licence", "--answers", "missing.ini"});
    EXPECT_EQ(outcome.code, 2);
    EXPECT_NE(outcome.err.find("missing.ini: the answer file cannot be read"), std::string::npos)
        << outcome.err;
    outcome = Setup({"--unattended", "--accept-licence", "--log",
                     (temp_.Path() / "no-such-folder" / "setup.log").c_str()});
    EXPECT_EQ(outcome.code, 3);
    EXPECT_NE(outcome.err.find("the diagnostic log"), std::string::npos) << outcome.err;
    EXPECT_EQ(Setup({"--uninstall", "--log", temp_.Path().c_str()}).code, 3);  // a folder
    EXPECT_FALSE(fs::exists(Prefix()));

    temp_.WriteFile("answers.ini",
                    "; by hand\n[Setup]\nInstallFolder=C:\\\\Apps\\\\Lingora\n"
                    "StartMenuFolder=\"Taal, Woorden\"\nDesktopEntries=false\n");
    const fs::path log = temp_.Path() / "setup.log";
    const QStringList install = {"--unattended",  "--accept-licence", "--answers",
                                 answers.c_str(), "--group",          "Lingora 2",
                                 "--log",         log.c_str(),        "--unless-installed"};
    outcome = Setup(install);
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    const fs::path folder = Prefix() / "drive_c" / "Apps" / "Lingora";
    const std::string record = TempFolder::ReadFile(folder / "Install.log");
    EXPECT_NE(record.find("{program folder}\r\nLingora 2\r\n"), std::string::npos) << record;
    EXPECT_FALSE(fs::exists(temp_.Path() / ".local"));  // DesktopEntries=false

    outcome = Setup(install);
    EXPECT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("already installed in C:\\Apps\\Lingora"), std::string::npos)
        << outcome.err;
    EXPECT_EQ(TempFolder::ReadFile(folder / "Install.log"), record);
    const std::vector<std::string> lines = LogLines(log);
    EXPECT_EQ(Count(lines, "---- Lingora Setup 2.0"), 2u);
    EXPECT_EQ(Count(lines, "wrote file C:\\Apps\\Lingora\\Uninst.exe (11 bytes)"), 1u);
    EXPECT_EQ(Count(lines, "decision: already installed"), 1u);
}

// Setup killed while it copies leaves a log that ends with a whole line, and
// every file that the log names as written is there whole.
TEST_F(CommandLineTest, ALogCutBySigkillMidCopyEndsWithAWholeLine) {
    std::vector<testset::Record> many;
    for (int i = 0; i < 40000; ++i)
        many.push_back({"Words\\List" + std::to_string(i) + ".wdl", testset::Pattern(64, i)});
    testset::WriteVolumeSet(Volumes(), many, 1u << 30);
    const fs::path log = temp_.Path() / "setup.log";
    QProcessEnvironment environment;
    environment.insert("PATH", qEnvironmentVariable("PATH"));
    environment.insert("HOME", QString::fromStdString(temp_.Path().string()));
    environment.insert("WINEPREFIX", QString::fromStdString(Prefix().string()));
    QProcess setup;
    setup.setProcessEnvironment(environment);
    setup.setWorkingDirectory(QString::fromStdString(Volumes().string()));
    setup.start(SETUP_PATH, {"--unattended", "--accept-licence", "--quiet", "--dir", "C:\\Lingora",
                             "--log", log.c_str()});
    ASSERT_TRUE(setup.waitForStarted(10000));
    for (int i = 0; i < 20000; ++i) {
        if (TempFolder::ReadFile(log).find("wrote file C:\\Lingora\\Words\\List100.wdl") !=
            std::string::npos)
            break;
        QThread::usleep(500);
    }
    ::kill(static_cast<pid_t>(setup.processId()), SIGKILL);
    ASSERT_TRUE(setup.waitForFinished(10000));
    const std::vector<std::string> lines = LogLines(log);
    ASSERT_EQ(Count(lines, "stage copying: took"), 0u) << "the copying ended before the kill";
    const std::string written = "wrote file C:\\Lingora\\";
    std::size_t files = 0;
    for (const std::string& line : lines) {
        if (line.rfind(written, 0) != 0 || line.find("Install.log") != std::string::npos) continue;
        const std::string name = line.substr(written.size(), line.find(" (") - written.size());
        std::string host = name;
        std::replace(host.begin(), host.end(), '\\', '/');
        EXPECT_EQ(fs::file_size(Prefix() / "drive_c" / "Lingora" / host), 64u) << name;
        ++files;
    }
    EXPECT_GE(files, 100u);
}

}  // namespace
