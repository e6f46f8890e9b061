// The unattended installation and the removal, in this process on temporary
// prefixes: every exit code from a real cause, its message, and what is left
// changed or unchanged.
#include "app/Unattended.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "dialogs/Unit_Constants.h"
#include "extract/Unit_ExtractThread.h"
#include "install/Unit_Installation.h"
#include "platform/ExitCodes.h"
#include "platform/Platform.h"
#include "platform/TRegistry.h"
#include "platform/host/machine/HostDesktop.h"
#include "platform/host/machine/PrefixLock.h"
#include "registrynames/RegistryNames.h"
#include "tests/support/Doubles.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TempPrefix.h"
#include "tests/support/VolumeSetWriter.h"

namespace {

namespace fs = std::filesystem;
using testset::Record;

constexpr char Folder[] = "C:\\Program Files\\Lingora";

std::vector<Record> Payload() {
    return {{"Lingora.exe", testset::Pattern(3000, 1)},
            {"Lingohlp.hlp", testset::Pattern(1500, 2)},
            {"Uninst.exe", testset::Pattern(800, 3)},
            {"Words\\Keuken.wdl", testset::Pattern(2000, 4)},
            {"Words\\Leeg.wdl", ""}};
}

// Everything below a folder: relative path to its bytes ("/" for a folder).
std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_symlink()) continue;
        const std::string name = fs::relative(entry.path(), root).string();
        tree[name] = entry.is_directory() ? "/" : TempFolder::ReadFile(entry.path());
    }
    return tree;
}

// A registry file's keys and values, without the times of the keys.
std::vector<std::string> RegistryRows(const fs::path& file) {
    std::vector<std::string> rows;
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("#time=", 0) == 0) continue;
        if (!line.empty() && line[0] == '[') line = line.substr(0, line.rfind(']') + 1);
        rows.push_back(line);
    }
    return rows;
}

// The entries of an installed version 1.0: its uninstall entry and its own key.
void RegisterVersion1() {
    TRegistry registry;
    registry.SetRootKey(RootKey::LocalMachine);
    ASSERT_TRUE(registry.OpenKey(regnames::UninstallKey, true));
    registry.WriteString(regnames::UninstallStringValue, "C:\\LINGORA\\UNINST.EXE");
    ASSERT_TRUE(registry.OpenKey(regnames::Version1Key, true));
}

class UnattendedTest : public testing::Test {
  protected:
    void SetUp() override {
        BuildTexts();
        testset::WriteVolumeSet(volumes_.Path(), Payload(), 4000);
        options_.AcceptLicence = true;
        options_.Sources = {volumes_.Path().string()};
    }
    void TearDown() override { ReleaseTexts(); }

    // Runs the installation; its messages land in messages_.
    int Install() {
        return Run([this](std::FILE* out) { return InstallUnattended(options_, out); });
    }
    int Uninstall() {
        return Run([](std::FILE* out) { return UninstallUnattended(false, out); });
    }

    template <typename Action>
    int Run(Action action) {
        std::FILE* out = std::tmpfile();
        const int code = action(out);
        std::rewind(out);
        messages_.clear();
        for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) messages_ += char(c);
        std::fclose(out);
        return code;
    }

    bool Installed(const std::string& relative) {
        std::error_code error;
        return fs::exists(prefix_.Folder() / "drive_c" / "Program Files" / "Lingora" / relative,
                          error);
    }
    bool Says(const std::string& words) const { return messages_.find(words) != std::string::npos; }

    TempPrefix prefix_;
    TempFolder volumes_;
    TUnattendedOptions options_;
    std::string messages_;
};

TEST_F(UnattendedTest, InstallsTheSetAndSaysWhere) {
    ASSERT_EQ(Install(), ExitDone) << messages_;
    for (const Record& file : Payload())
        EXPECT_EQ(prefix_.ReadFile(std::string(Folder) + "\\" + file.name), file.data) << file.name;
    EXPECT_TRUE(prefix_.ReadFile(std::string(Folder) + "\\Install.log").ends_with(".lnk\r\n\r\n"));
    EXPECT_FALSE(prefix_.ReadFile(prefix_.ProgramsFolder() + "\\Lingora\\Lingora.lnk").empty());
    TRegistry registry;
    registry.SetRootKey(RootKey::LocalMachine);
    ASSERT_TRUE(registry.OpenKey(regnames::UninstallKey, false));
    EXPECT_EQ(registry.ReadString(regnames::UninstallStringValue),
              std::string(Folder) + "\\Uninst.exe");
    EXPECT_TRUE(Says("is installed in C:\\Program Files\\Lingora")) << messages_;
    // Not a terminal: a line for each volume, no redrawing.
    EXPECT_NE(messages_.find("Setup.d01: "), std::string::npos) << messages_;
    EXPECT_NE(messages_.find("Setup.d02: "), std::string::npos) << messages_;
    EXPECT_EQ(messages_.find('\r'), std::string::npos);
    EXPECT_TRUE(prefix_.Started().empty());  // no restart without --restart
}

TEST_F(UnattendedTest, OnATerminalOneLineRedrawsAndRestartAsksWine) {
    options_.Terminal = true;
    options_.Restart = true;
    ASSERT_EQ(Install(), ExitDone) << messages_;
    // Each step draws the line anew in place; the last one ends it.
    EXPECT_NE(messages_.find("\r\033[K  1%"), std::string::npos) << messages_;
    EXPECT_NE(messages_.find("100%  7.1 KiB of 7.1 KiB  Words\\Leeg.wdl"), std::string::npos)
        << messages_;
    EXPECT_EQ(messages_.find("Setup.d01: "), std::string::npos);
    EXPECT_NE(messages_.find("/s\nlingora-setup: Lingora 2.0 is installed"), std::string::npos)
        << messages_;
    // The restart is Wine's: wineboot --restart on this prefix, or a message without it.
    if (std::system("command -v wineboot >/dev/null 2>&1") == 0) {
        ASSERT_EQ(prefix_.Started().size(), 1u);
        EXPECT_EQ(prefix_.Started()[0].arguments.back(), "--restart");
    } else {
        EXPECT_TRUE(Says("could not be asked to restart")) << messages_;
    }
}

TEST_F(UnattendedTest, ChoicesAreCheckedAsTheFolderPagesCheckThem) {
    options_.Dir = "D:\\Caf\xE9";  // no drive D:
    EXPECT_EQ(Install(), ExitRefused);
    EXPECT_TRUE(Says("could not be created")) << messages_;
    EXPECT_TRUE(Says("(installation folder: D:\\Caf\xC3\xA9)")) << messages_;  // in UTF-8
    options_.Dir = "C:\\Apps\\Lingora\\";
    options_.Group = "..\\Elsewhere";
    options_.GroupGiven = true;
    EXPECT_EQ(Install(), ExitRefused);
    EXPECT_TRUE(Says("Start-menu folder: ..\\Elsewhere")) << messages_;
    EXPECT_FALSE(fs::exists(prefix_.Folder() / "drive_c" / "Apps"));

    options_.Group = "Taal & Woorden\\Nederlands";
    options_.Quiet = true;
    ASSERT_EQ(Install(), ExitDone) << messages_;
    EXPECT_EQ(messages_, "");  // quiet: errors only
    EXPECT_EQ(prefix_.ReadFile("C:\\Apps\\Lingora\\Uninst.exe"), Payload()[2].data);
    EXPECT_FALSE(
        prefix_.ReadFile(prefix_.ProgramsFolder() + "\\Taal & Woorden\\Nederlands\\Lingora.lnk")
            .empty());
}

// What Windows cannot hold is refused as the folder pages refuse it, before
// anything is made: long paths, names ending in a dot or a space, device
// names, a relative folder (the wizard's rule; the command line refuses it as
// a usage error).
TEST_F(UnattendedTest, NamesThatWindowsCannotHoldAreRefused) {
    const auto before = Tree(prefix_.Folder() / "drive_c");
    const std::vector<std::string> dirs = {"C:\\" + std::string(260, 'L'),
                                           "C:\\Deep\\" + std::string(240, 'L'),
                                           "C:\\Lingora.",
                                           "C:\\Lingora ",
                                           "C:\\CON\\Lingora",
                                           "C:\\Program Files\\NUL",
                                           "C:\\Program Files\\lpt1.txt",
                                           "Lingora"};
    for (const std::string& dir : dirs) {
        options_.Dir = dir;
        EXPECT_EQ(Install(), ExitRefused) << dir << ": " << messages_;
        EXPECT_TRUE(Says("could not be created") && Says("(installation folder: " + dir + ")"))
            << messages_;
    }
    options_.Dir = Folder;
    options_.Group = std::string(304, 'G');
    options_.GroupGiven = true;
    EXPECT_EQ(Install(), ExitRefused) << messages_;
    EXPECT_TRUE(Says("could not be created") && Says("(Start-menu folder: GGG")) << messages_;
    EXPECT_EQ(Tree(prefix_.Folder() / "drive_c"), before);
}

TEST_F(UnattendedTest, RefusalsChangeNothing) {
    options_.AcceptLicence = false;
    EXPECT_EQ(Install(), ExitRefused);
    EXPECT_TRUE(Says("--accept-licence") && Says("lingora-setup --licence")) << messages_;
    options_.AcceptLicence = true;

    // Version 1.0 is installed: the wizard would ask.
    RegisterVersion1();
    EXPECT_EQ(Install(), ExitRefused);
    EXPECT_TRUE(Says("version 1.0") && Says("--keep-version-1")) << messages_;
    EXPECT_FALSE(Installed(""));

    // A damaged registry file: the same refusal as the wizard's.
    options_.KeepVersion1 = true;
    const fs::path system = prefix_.Folder() / "system.reg";
    const std::string saved = TempFolder::ReadFile(system);
    std::ofstream(system, std::ios::binary) << "not a registry file\n";
    EXPECT_EQ(Install(), ExitRefused);
    EXPECT_TRUE(Says("system.reg")) << messages_;
    EXPECT_FALSE(Installed(""));
    EXPECT_EQ(TempFolder::ReadFile(system), "not a registry file\n");

    // Put back, version 1.0 stays where it is and the installation goes on.
    std::ofstream(system, std::ios::binary) << saved;
    EXPECT_EQ(Install(), ExitDone) << messages_;
    {
        TRegistry registry;
        registry.SetRootKey(RootKey::LocalMachine);
        EXPECT_TRUE(registry.KeyExists(regnames::Version1Key));
    }
    // The removal takes this version's installation, recorded beside version 1.0;
    // version 1.0 alone is for its own uninstaller.
    EXPECT_EQ(Uninstall(), ExitDone) << messages_;
    EXPECT_FALSE(Installed(""));
    RegisterVersion1();
    EXPECT_EQ(Uninstall(), ExitRefused);
    EXPECT_TRUE(Says("version 1.0; remove it with its own uninstaller")) << messages_;
}

TEST_F(UnattendedTest, DisksAreFoundInEverySourceFolderAndInADownloadFoldersDiskFolders) {
    ASSERT_EQ(Install(), ExitDone) << messages_;
    const std::string fromOneFolder = prefix_.ReadFile(std::string(Folder) + "\\Install.log");
    std::vector<fs::path> volumes;
    for (int number = 1; fs::exists(volumes_.Path() / testset::Name(number)); ++number)
        volumes.push_back(volumes_.Path() / testset::Name(number));
    ASSERT_GE(volumes.size(), 2u);
    const auto expectAsFromOneFolder = [&] {
        for (const Record& file : Payload())
            EXPECT_EQ(prefix_.ReadFile(std::string(Folder) + "\\" + file.name), file.data);
        EXPECT_EQ(prefix_.ReadFile(std::string(Folder) + "\\Install.log"), fromOneFolder);
    };

    // Two --source folders, the disks spread over them (no digest file).
    TempFolder second;
    for (std::size_t i = 1; i < volumes.size(); i += 2)
        fs::rename(volumes[i], second.Path() / volumes[i].filename());
    options_.Sources = {volumes_.Path().string(), second.Path().string()};
    ASSERT_EQ(Install(), ExitDone) << messages_;
    expectAsFromOneFolder();

    // A download folder: Disk1, Disk2 ... each with the digest file.
    TempFolder download;
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        const fs::path disk = download.Path() / ("Disk" + std::to_string(i + 1));
        fs::create_directories(disk);
        const fs::path from =
            fs::exists(volumes[i]) ? volumes[i] : second.Path() / volumes[i].filename();
        fs::rename(from, disk / volumes[i].filename());
    }
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        const fs::path disk = download.Path() / ("Disk" + std::to_string(i + 1));
        fs::copy_file(disk / volumes[i].filename(), volumes_.Path() / volumes[i].filename());
    }
    testset::WriteDigestFile(volumes_.Path(), testset::kSetIdentity);
    for (std::size_t i = 0; i < volumes.size(); ++i)
        fs::copy_file(volumes_.Path() / "Setup.sum",
                      download.Path() / ("Disk" + std::to_string(i + 1)) / "Setup.sum");
    options_.Sources = {(download.Path() / "Disk1").string()};
    ASSERT_EQ(Install(), ExitDone) << messages_;
    expectAsFromOneFolder();

    // A disk 2 that is missing is named with the folders searched.
    fs::remove_all(download.Path() / "Disk2");
    ASSERT_EQ(Install(), ExitVolumeMissing);
    // (Where the temporary folder is a mount of its own, the other mounts follow.)
    EXPECT_TRUE(Says("Setup.d02 (disk 2) is not in " + (download.Path() / "Disk1").string()))
        << messages_;
    EXPECT_TRUE(Says((download.Path() / "Disk2").string())) << messages_;
    EXPECT_TRUE(Says("Mount disk 2, or name its folder with a further --source.")) << messages_;
}

TEST_F(UnattendedTest, AMissingVolumeIsNamedAndTheCopiedFilesStayListed) {
    fs::remove(volumes_.Path() / "Setup.d02");
    EXPECT_EQ(Install(), ExitVolumeMissing);
    EXPECT_TRUE(Says("Setup.d02 (disk 2) is not in " + volumes_.Path().string())) << messages_;
    EXPECT_TRUE(Says("or name its folder with a further --source")) << messages_;
    // As after a cancel: the files so far, a log without shortcuts, no entries.
    EXPECT_TRUE(Installed("Lingora.exe"));
    const std::string log = prefix_.ReadFile(std::string(Folder) + "\\Install.log");
    EXPECT_NE(log.find("Lingora.exe\r\n"), std::string::npos);
    EXPECT_EQ(log.find("{program folder files}"), std::string::npos);
    TRegistry registry;
    registry.SetRootKey(RootKey::LocalMachine);
    EXPECT_FALSE(registry.KeyExists(regnames::UninstallKey));

    // Without even the first volume nothing is changed.
    fs::remove_all(volumes_.Path());
    fs::create_directories(volumes_.Path());
    options_.Dir = "C:\\Other";
    EXPECT_EQ(Install(), ExitVolumeMissing);
    EXPECT_TRUE(Says("Setup.d01 (disk 1) is not in")) << messages_;
    EXPECT_FALSE(fs::exists(prefix_.Folder() / "drive_c" / "Other"));
}

TEST_F(UnattendedTest, ADamagedVolumeEndsAsAMissingOneWithTheDiskPromptsWords) {
    testset::WriteDigestFile(volumes_.Path(), testset::kSetIdentity);
    const fs::path second = volumes_.Path() / "Setup.d02";
    std::string bytes = TempFolder::ReadFile(second);
    bytes[10] = static_cast<char>(bytes[10] ^ 0x20);
    std::ofstream(second, std::ios::binary | std::ios::trunc) << bytes;
    EXPECT_EQ(Install(), ExitVolumeMissing);
    EXPECT_TRUE(
        Says("lingora-setup: Disk 2 is damaged or belongs to another set. Insert disk 2 of this "
             "set in the disk drive and click OK. Setup.d02 in " +
             volumes_.Path().string() + ": its digest is "))
        << messages_;
    EXPECT_TRUE(Says("Install.log lists them")) << messages_;
    // Nothing of volume 2: the file whose data starts there is not even created.
    const std::string log = prefix_.ReadFile(std::string(Folder) + "\\Install.log");
    EXPECT_EQ(log.find("Words\\Keuken.wdl"), std::string::npos) << log;
}

// With a digest file, a first volume of the wrong size and a total that the
// listed volumes cannot hold are refused before the folder or the log exist.
TEST_F(UnattendedTest, TheDigestFileIsUsedBeforeAnyChange) {
    testset::WriteDigestFile(volumes_.Path(), testset::kSetIdentity);
    const fs::path first = volumes_.Path() / "Setup.d01";
    const std::string bytes = TempFolder::ReadFile(first);
    const auto tree = Tree(prefix_.Folder() / "drive_c");
    std::ofstream(first, std::ios::binary | std::ios::trunc);  // empty
    EXPECT_EQ(Install(), ExitVolumeMissing) << messages_;
    EXPECT_TRUE(Says("Setup.d01 is damaged or belongs to another set: it holds 0 bytes, not " +
                     std::to_string(bytes.size())))
        << messages_;
    EXPECT_TRUE(Says("Nothing was changed.")) << messages_;
    EXPECT_EQ(Tree(prefix_.Folder() / "drive_c"), tree);

    std::string wrongTotal = bytes;
    wrongTotal.replace(0, 4, testset::Int32(2147483647));
    std::ofstream(first, std::ios::binary | std::ios::trunc) << wrongTotal;
    EXPECT_EQ(Install(), ExitVolumeMissing) << messages_;
    EXPECT_TRUE(Says("its total of 2147483647 bytes is more than the")) << messages_;
    EXPECT_TRUE(Says("Nothing was changed.")) << messages_;
    EXPECT_EQ(Tree(prefix_.Folder() / "drive_c"), tree);

    std::ofstream(first, std::ios::binary | std::ios::trunc) << bytes;
    EXPECT_EQ(Install(), ExitDone) << messages_;
}

// A Setup.sum that is no file (a folder, a FIFO) is a damaged digest file, as
// `lingora-setupvol check` calls it: the set is not copied unchecked.
TEST_F(UnattendedTest, ADigestFileThatIsNoFileIsRefused) {
    const auto tree = Tree(prefix_.Folder() / "drive_c");
    const fs::path digest = volumes_.Path() / "Setup.sum";
    fs::create_directory(digest);
    EXPECT_EQ(Install(), ExitVolumeMissing) << messages_;
    EXPECT_TRUE(Says("Setup.sum is not a file but a folder")) << messages_;
    EXPECT_EQ(Tree(prefix_.Folder() / "drive_c"), tree);
    fs::remove(digest);
    ASSERT_EQ(::mkfifo(digest.c_str(), 0644), 0);
    EXPECT_EQ(Install(), ExitVolumeMissing) << messages_;
    EXPECT_EQ(Tree(prefix_.Folder() / "drive_c"), tree);
}

// A real signal during the copying (raised by the process itself at its third
// copy step) stops it after that step, as Cancel does: exit code 1, the log
// closed with the files copied, the message saying what remains.
TEST_F(UnattendedTest, SignalsStopTheCopyingBetweenSteps) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        int steps = 0;
        ExtractStepObserver = [&steps, signal](const char* step) {
            if (std::string(step) == "CopyStep" && ++steps == 3) std::raise(signal);
        };
        const int code = Install();
        ExtractStepObserver = nullptr;
        EXPECT_EQ(code, ExitFailedPartWay) << messages_;
        EXPECT_TRUE(Says("stopped by SIG") && Says("Install.log lists them")) << messages_;
        const std::string log = prefix_.ReadFile(std::string(Folder) + "\\Install.log");
        EXPECT_NE(log.find("Lingora.exe\r\n"), std::string::npos) << log;
        EXPECT_EQ(log.find("Keuken.wdl"), std::string::npos) << log;
        TRegistry registry;
        registry.SetRootKey(RootKey::LocalMachine);
        EXPECT_FALSE(registry.KeyExists(regnames::UninstallKey));
    }
    // The signals are the default ones again afterwards.
    struct sigaction now {};
    ASSERT_EQ(::sigaction(SIGTERM, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

// Raises a signal at the removal's second entry, as a person's Ctrl-C would.
class SignalAtSecondRemoval : public ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    RemoveOutcome RemoveBelow(const std::string& base, const std::string& relative,
                              bool folder) override {
        if (++calls_ == 2) std::raise(SIGINT);
        return Inner().RemoveBelow(base, relative, folder);
    }

  private:
    int calls_ = 0;
};

// A signal stops the removal between two entries; the log and the uninstall
// entry stay, and a second run finishes the job.
TEST_F(UnattendedTest, ASignalStopsTheRemovalAndASecondRunFinishesIt) {
    const auto treeBefore = Tree(prefix_.Folder() / "drive_c");
    ASSERT_EQ(Install(), ExitDone) << messages_;
    {
        SignalAtSecondRemoval signalling(prefix_.Machine().Files());
        Platform platform = CurrentPlatform();
        platform.files = &signalling;
        ScopedPlatform installed(platform);
        EXPECT_EQ(Uninstall(), ExitFailedPartWay) << messages_;
    }
    EXPECT_TRUE(Says("stopped by SIGINT") && Says("names remain")) << messages_;
    EXPECT_TRUE(Installed("Install.log"));
    EXPECT_TRUE(Installed("Uninst.exe"));
    TRegistry registry;
    registry.SetRootKey(RootKey::LocalMachine);
    EXPECT_TRUE(registry.KeyExists(regnames::UninstallKey));
    EXPECT_EQ(Uninstall(), ExitDone) << messages_;
    EXPECT_EQ(Tree(prefix_.Folder() / "drive_c"), treeBefore);
}

TEST_F(UnattendedTest, FailuresPartWaySayWhatRemains) {
    const std::string system = TempFolder::ReadFile(prefix_.Folder() / "system.reg");
    const std::string user = TempFolder::ReadFile(prefix_.Folder() / "user.reg");
    // A full disk after a few kilobytes: the reason and the file that could not
    // be written are named, and the registry files stay as they were.
    DiskFullFileSystem full(prefix_.Machine().Files(), 2000);
    {
        Platform platform = CurrentPlatform();
        platform.files = &full;
        ScopedPlatform installed(platform);
        EXPECT_EQ(Install(), ExitFailedPartWay);
    }
    EXPECT_TRUE(
        Says("lingora-setup: Stream write error: There is not enough space on the disk. "
             "(C:\\Program Files\\Lingora\\"))
        << messages_;
    EXPECT_TRUE(TempFolder::ReadFile(prefix_.Folder() / "system.reg") == system);
    EXPECT_TRUE(TempFolder::ReadFile(prefix_.Folder() / "user.reg") == user);
    EXPECT_TRUE(Says("Install.log lists them")) << messages_;
    EXPECT_TRUE(prefix_.ReadFile(std::string(Folder) + "\\Install.log").ends_with("\r\n"));

    // A damaged volume: a stored name that leaves the folder.
    testset::WriteVolumes(volumes_.Path(), testset::Stream({{"..\\Escape.dat", "x"}}), {});
    EXPECT_EQ(Install(), ExitFailedPartWay);
    EXPECT_TRUE(Says("damaged")) << messages_;
    EXPECT_FALSE(fs::exists(prefix_.Folder() / "drive_c" / "Program Files" / "Escape.dat"));
}

TEST_F(UnattendedTest, RemovalLeavesThePrefixAsBeforeTheInstallation) {
    const auto treeBefore = Tree(prefix_.Folder() / "drive_c");
    const auto systemBefore = RegistryRows(prefix_.Folder() / "system.reg");
    const auto userBefore = RegistryRows(prefix_.Folder() / "user.reg");
    options_.Group = "Taal\\Nederlands";
    options_.GroupGiven = true;
    ASSERT_EQ(Install(), ExitDone) << messages_;
    ASSERT_NE(Tree(prefix_.Folder() / "drive_c"), treeBefore);

    EXPECT_EQ(Uninstall(), ExitDone) << messages_;
    EXPECT_TRUE(Says("is removed from C:\\Program Files\\Lingora")) << messages_;
    EXPECT_EQ(Tree(prefix_.Folder() / "drive_c"), treeBefore);
    EXPECT_EQ(RegistryRows(prefix_.Folder() / "system.reg"), systemBefore);
    EXPECT_EQ(RegistryRows(prefix_.Folder() / "user.reg"), userBefore);

    EXPECT_EQ(Uninstall(), ExitRefused);
    EXPECT_TRUE(Says("is not installed")) << messages_;
}

// A removal that cannot remove says what remains and keeps it recorded, so that
// it can be run again; --dir removes what an interrupted first installation left.
TEST_F(UnattendedTest, RemovalChecksWhatItRemoved) {
    const auto treeBefore = Tree(prefix_.Folder() / "drive_c");
    ASSERT_EQ(Install(), ExitDone) << messages_;
    {
        DenyingFileSystem denying(prefix_.Machine().Files(), std::string(Folder) + "\\Words");
        Platform platform = CurrentPlatform();
        platform.files = &denying;
        ScopedPlatform installed(platform);
        EXPECT_EQ(Uninstall(), ExitFailedPartWay) << messages_;
    }
    EXPECT_TRUE(
        Says("could not be removed completely: 2 of the files and folders that its "
             "Install.log names remain, the first C:\\Program Files\\Lingora\\Words\\"
             "Keuken.wdl."))
        << messages_;
    EXPECT_TRUE(Installed("Install.log"));
    EXPECT_EQ(Uninstall(), ExitDone) << messages_;
    EXPECT_EQ(Tree(prefix_.Folder() / "drive_c"), treeBefore);

    // Interrupted before its entries: no uninstall entry, only the log.
    fs::remove(volumes_.Path() / "Setup.d02");
    EXPECT_EQ(Install(), ExitVolumeMissing) << messages_;
    EXPECT_EQ(Uninstall(), ExitRefused);
    EXPECT_TRUE(Says("is not installed")) << messages_;
    EXPECT_EQ(Run([](std::FILE* out) { return UninstallUnattended(false, out, "C:\\Nowhere"); }),
              ExitRefused);
    EXPECT_TRUE(Says("no Install.log")) << messages_;
    EXPECT_EQ(Run([](std::FILE* out) { return UninstallUnattended(false, out, Folder); }), ExitDone)
        << messages_;
    EXPECT_EQ(Tree(prefix_.Folder() / "drive_c"), treeBefore);

    // A damaged registry: the removal names it as the installation does.
    std::ofstream(prefix_.Folder() / "system.reg", std::ios::binary) << "not a registry file\n";
    EXPECT_EQ(Install(), ExitRefused);
    const std::string installSays = messages_.substr(messages_.rfind("lingora-setup: "));
    EXPECT_EQ(Uninstall(), ExitRefused);
    EXPECT_EQ(messages_, installSays);
}

// Everything is checked before anything changes: on a read-only mount of drive
// C: (a real one; as root only) neither the installation nor the removal
// starts, and the same goes for registry files that root may not replace.
TEST_F(UnattendedTest, APrefixThatCannotBeWrittenIsRefusedBeforeAnyChange) {
    ASSERT_EQ(Install(), ExitDone) << messages_;
    const fs::path driveC = prefix_.Folder() / "drive_c";
    if (::mount(driveC.c_str(), driveC.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "no bind mount here: " << std::strerror(errno);
    struct Unmount {
        fs::path folder;
        ~Unmount() { ::umount2(folder.c_str(), MNT_DETACH); }
    } unmount{driveC};
    ASSERT_EQ(::mount(nullptr, driveC.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr),
              0)
        << std::strerror(errno);
    const auto tree = Tree(driveC);
    const std::string system = TempFolder::ReadFile(prefix_.Folder() / "system.reg");
    EXPECT_EQ(Install(), ExitRefused) << messages_;
    EXPECT_TRUE(Says("cannot be written to") && Says("Nothing was changed.")) << messages_;
    EXPECT_EQ(Uninstall(), ExitRefused) << messages_;
    EXPECT_TRUE(Says("cannot be written to") && Says("Nothing was changed.")) << messages_;
    EXPECT_EQ(Tree(driveC), tree);
    EXPECT_TRUE(TempFolder::ReadFile(prefix_.Folder() / "system.reg") == system);
    ::umount2(driveC.c_str(), MNT_DETACH);

    ASSERT_EQ(::chmod((prefix_.Folder() / "system.reg").c_str(), 0444), 0);
    EXPECT_EQ(Uninstall(), ExitRefused) << messages_;
    EXPECT_TRUE(Says("system.reg\" cannot be written") && Says("Nothing was changed."))
        << messages_;
    EXPECT_TRUE(Installed("Lingora.exe"));
}

TEST_F(UnattendedTest, DesktopEntriesComeAndGoWithTheInstallation) {
    HostDesktop& desktop = prefix_.Machine().Desktop();
    const fs::path data = desktop.Settings().dataHome;
    const fs::path config = desktop.Settings().configHome;
    fs::create_directories(data);
    fs::create_directories(config);
    options_.Group = "Taal & Woorden\\Nederlands";
    options_.GroupGiven = true;
    ASSERT_EQ(Install(), ExitDone) << messages_;
    for (const char* name : {"Lingora", "Lingora Help", "Uninstall Lingora"}) {
        EXPECT_TRUE(fs::exists(desktop.MenuEntryFile(options_.Group, name))) << name;
        EXPECT_TRUE(fs::exists(desktop.MenuFile(options_.Group, name))) << name;
    }
    EXPECT_NE(TempFolder::ReadFile(desktop.FileTypeEntryFile(".wdl"))
                  .find("wine start /ProgIDOpen Lingora.Wordlist %f"),
              std::string::npos);
    EXPECT_FALSE(Says("warning")) << messages_;

    // Installed again into another Start-menu folder: the first folder's entries go.
    options_.Group = "Lingora";
    ASSERT_EQ(Install(), ExitDone) << messages_;
    EXPECT_FALSE(fs::exists(data / "applications" / "wine" / "Programs" / "Taal & Woorden"));
    EXPECT_TRUE(fs::exists(desktop.MenuEntryFile("Lingora", "Lingora")));

    EXPECT_EQ(Uninstall(), ExitDone) << messages_;
    EXPECT_TRUE(Tree(data).empty()) << Tree(data).begin()->first;
    EXPECT_TRUE(Tree(config).empty()) << Tree(config).begin()->first;
}

TEST_F(UnattendedTest, SwitchedOffTheDesktopGetsNoEntries) {
    prefix_.Machine().Desktop().SwitchOff();
    ASSERT_EQ(Install(), ExitDone) << messages_;
    EXPECT_FALSE(fs::exists(prefix_.Machine().Desktop().Settings().dataHome));
    EXPECT_FALSE(fs::exists(prefix_.Machine().Desktop().Settings().configHome));
}

TEST_F(UnattendedTest, AnUnwritableDesktopIsAWarningOnly) {
    const fs::path data = prefix_.Machine().Desktop().Settings().dataHome;
    fs::create_directories(data.parent_path());
    std::ofstream(data) << "a file where the desktop's folder should be";
    ASSERT_EQ(Install(), ExitDone) << messages_;
    EXPECT_TRUE(
        Says("lingora-setup: warning: Lingora's entries in the desktop's application menu could "
             "not all be written (Cannot create " +
             data.string()))
        << messages_;
    EXPECT_TRUE(Says("is installed in")) << messages_;
    TRegistry registry;
    registry.SetRootKey(RootKey::LocalMachine);
    EXPECT_TRUE(registry.OpenKey(regnames::UninstallKey, false));
    EXPECT_EQ(Uninstall(), ExitDone) << messages_;
}

// A run lock whose prefix was replaced once the run had begun.
class ReplacedPrefixLock : public IRunLock {
  public:
    std::string Take() override { return {}; }
    void Release() override {}
    std::string Lost() override { return replaced ? "the Wine prefix folder was replaced" : ""; }
    bool replaced = false;
};

// The prefix folder moved away and another put in its place: the run stops at
// once, naming it, and nothing more is written.
TEST_F(UnattendedTest, AReplacedPrefixStopsTheRunBeforeItsNextWrite) {
    ASSERT_EQ(Install(), 0) << messages_;
    const std::map<std::string, std::string> before = Tree(prefix_.Folder() / "drive_c");
    ReplacedPrefixLock lock;
    lock.replaced = true;
    InstallRunLock(&lock);
    const int installed = Install();
    const int removed = Uninstall();
    InstallRunLock(nullptr);
    EXPECT_EQ(installed, 1) << messages_;
    EXPECT_EQ(removed, 1) << messages_;
    EXPECT_TRUE(Says("was replaced")) << messages_;
    EXPECT_EQ(Tree(prefix_.Folder() / "drive_c"), before);

    // The lock itself notices a folder moved away and made anew.
    const fs::path folder = volumes_.Path() / "locked";
    fs::create_directories(folder);
    PrefixLock real(folder);
    ASSERT_EQ(real.Take(), "");
    EXPECT_EQ(real.Lost(), "");
    fs::rename(folder, volumes_.Path() / "away");
    fs::create_directories(folder);
    EXPECT_NE(real.Lost().find("was moved, replaced or removed"), std::string::npos);
    real.Release();
}

}  // namespace
