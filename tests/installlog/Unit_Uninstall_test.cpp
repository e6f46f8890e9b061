#include "installlog/Unit_Uninstall.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "installlog/Unit_Paths.h"
#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/TRegistry.h"
#include "tests/support/TempPrefix.h"

namespace {

namespace fs = std::filesystem;

constexpr char OldFolder[] = "C:\\Program Files\\Lingora";

// The lines of an Install.log as the setup writes it, CR LF after each.
std::string LogText(const std::string& startMenuFolder, std::initializer_list<const char*> files,
                    std::initializer_list<const char*> shortcuts) {
    std::string text = "*** Don't change or delete this file ***\r\n\r\n{program folder}\r\n" +
                       startMenuFolder + "\r\n\r\n{program files}\r\n";
    for (const char* file : files) text += std::string(file) + "\r\n";
    text += "\r\n{program folder files}\r\n";
    for (const char* shortcut : shortcuts) text += std::string(shortcut) + "\r\n";
    return text + "\r\n";
}

class UninstallTest : public TempPrefixTest {
  protected:
    std::string Programs() { return prefix_.ProgramsFolder(); }
    std::string Old(const std::string& name) { return JoinPath(OldFolder, name); }
    std::string Menu(const std::string& name) { return JoinPath(Programs(), name); }

    void Put(const std::string& windowsPath) { prefix_.WriteFile(windowsPath, windowsPath); }
    void PutFolder(const std::string& windowsPath) {
        fs::create_directories(prefix_.HostPath(windowsPath));
    }
    void PutLog(const std::string& text) { prefix_.WriteFile(Old("Install.log"), text); }
    bool Exists(const std::string& windowsPath) {
        std::error_code error;
        return fs::exists(prefix_.HostPath(windowsPath), error);
    }

    // A whole earlier installation in OldFolder with its shortcuts in "Tarnwick\Lingora".
    void PutInstallation() {
        for (const char* file : {"Lingora.exe", "Lingohlp.hlp", "Uninst.exe", "Data\\Words.dat",
                                 "Data\\Deep\\Deeper.dat"})
            Put(Old(file));
        for (const char* link : {"Lingora.lnk", "Lingora Help.lnk", "Uninstall Lingora.lnk"})
            Put(Menu(std::string("Tarnwick\\Lingora\\") + link));
        PutLog(LogText("Tarnwick\\Lingora",
                       {"Lingohlp.GID", "Lingora.exe", "Lingohlp.hlp", "Uninst.exe",
                        "Data\\Words.dat", "Data\\Deep\\Deeper.dat"},
                       {"Lingora.lnk", "Lingora Help.lnk", "Uninstall Lingora.lnk"}));
    }
};

TEST_F(UninstallTest, RemovesListedShortcutsAndFilesWithTheirEmptyFolders) {
    PutInstallation();  // "Lingohlp.GID" is listed but was never made
    RemovePreviousInstallation(OldFolder, "Tarnwick\\Lingora");

    EXPECT_FALSE(Exists(OldFolder));
    EXPECT_FALSE(Exists(Menu("Tarnwick")));
    EXPECT_TRUE(Exists(Programs()));
    EXPECT_TRUE(Exists("C:\\Program Files"));
}

TEST_F(UninstallTest, WhatTheLogDoesNotListStaysWithItsFolders) {
    PutInstallation();
    Put(Old("Notes.txt"));
    Put(Old("Data\\Mine.txt"));
    Put(Menu("Tarnwick\\Other.lnk"));
    RemovePreviousInstallation(OldFolder, "Tarnwick\\Lingora");

    EXPECT_TRUE(Exists(Old("Notes.txt")));
    EXPECT_TRUE(Exists(Old("Data\\Mine.txt")));
    EXPECT_FALSE(Exists(Old("Data\\Deep")));
    EXPECT_FALSE(Exists(Old("Lingora.exe")));
    EXPECT_FALSE(Exists(Old("Install.log")));
    EXPECT_TRUE(Exists(Menu("Tarnwick\\Other.lnk")));
    EXPECT_FALSE(Exists(Menu("Tarnwick\\Lingora")));
}

TEST_F(UninstallTest, EachSectionIsFoundWhereverItStands) {
    Put(Old("Lingora.exe"));
    Put(Menu("Lingora\\Lingora.lnk"));
    PutLog(
        "*** Don't change or delete this file ***\r\n\r\n{program folder}\r\nLingora\r\n"
        "\r\n{program folder files}\r\nLingora.lnk\r\n\r\n{program files}\r\nLingora.exe\r\n\r\n");
    RemovePreviousInstallation(OldFolder, "Lingora");
    EXPECT_FALSE(Exists(Menu("Lingora")));
    EXPECT_FALSE(Exists(OldFolder));
}

TEST_F(UninstallTest, LastEntryCountsWithoutTheFinalEmptyLine) {
    // A log cut short after its last entry, with and without that entry's line end.
    for (const char* ending : {"\r\n", ""}) {
        SCOPED_TRACE(*ending ? "with line end" : "without line end");
        Put(Old("Lingora.exe"));
        Put(Old("Uninst.exe"));
        Put(Menu("Lingora\\Lingora.lnk"));
        Put(Menu("Lingora\\Uninstall Lingora.lnk"));
        PutLog(std::string("{program files}\r\nLingora.exe\r\nUninst.exe\r\n\r\n") +
               "{program folder files}\r\nLingora.lnk\r\nUninstall Lingora.lnk" + ending);
        RemovePreviousInstallation(OldFolder, "Lingora");
        EXPECT_FALSE(Exists(Menu("Lingora")));
        EXPECT_FALSE(Exists(OldFolder));

        Put(Old("Lingora.exe"));
        Put(Old("Uninst.exe"));
        PutLog(std::string("{program files}\r\nLingora.exe\r\nUninst.exe") + ending);
        RemovePreviousInstallation(OldFolder, "Lingora");
        EXPECT_FALSE(Exists(OldFolder));
    }
}

TEST_F(UninstallTest, EntriesThatLeaveTheirFolderAreSkipped) {
    const std::string startMenu = JoinPath(Programs(), "..");  // the Start Menu folder
    const std::vector<std::string> victims = {
        "C:\\Victim.txt",
        "C:\\Program Files\\Victim.txt",
        "C:\\Program Files\\Other\\Victim.txt",
        "C:\\Program Files\\Other\\Empty",
        startMenu + "\\Victim.lnk",
        startMenu + "\\Lingora\\Lingora.lnk",
    };
    for (const std::string& victim : victims) {
        if (victim.ends_with("Empty")) {
            PutFolder(victim);
        } else {
            Put(victim);
        }
    }
    const fs::path hostVictim = prefix_.Folder() / "Victim.txt";
    std::ofstream(hostVictim) << "outside every drive but Z:";
    const std::string zVictim = "Z:" + hostVictim.string();  // "Z:/tmp/.../Victim.txt"
    std::string zVictimBackslashed = zVictim;
    for (char& c : zVictimBackslashed) c = c == '/' ? '\\' : c;

    Put(Old("Lingora.exe"));
    Put(Menu("Lingora\\Lingora.lnk"));
    std::string log = "{program files}\r\n";
    for (const std::string& entry :
         {std::string("..\\Victim.txt"), std::string("..\\Other\\Victim.txt"),
          std::string("..\\Other\\Empty\\x"), std::string("Data\\..\\..\\Victim.txt"),
          std::string("C:\\Victim.txt"), std::string("C:..\\..\\Victim.txt"),
          std::string("\\Victim.txt"), std::string("\\\\server\\share\\Victim.txt"),
          std::string("/Victim.txt"), std::string("a/../../Victim.txt"),
          std::string("...\\Victim.txt"), std::string(".. \\Victim.txt"), zVictim,
          zVictimBackslashed, std::string("Lingora.exe")})
        log += entry + "\r\n";
    log +=
        "\r\n{program folder files}\r\n..\\..\\Victim.lnk\r\n..\\Victim.lnk\r\nLingora.lnk\r\n\r\n";
    PutLog(log);
    RemovePreviousInstallation(OldFolder, "Lingora");

    for (const std::string& victim : victims) EXPECT_TRUE(Exists(victim)) << victim;
    EXPECT_TRUE(fs::exists(hostVictim));
    // The sound entries of the same log are removed.
    EXPECT_FALSE(Exists(OldFolder));
    EXPECT_FALSE(Exists(Menu("Lingora")));

    // A Start-menu folder that leaves the Programs folder skips the whole
    // shortcut pass; the files still go.
    for (const std::string& folder :
         {std::string(".."), std::string("Lingora\\..\\.."), std::string("\\Lingora"),
          std::string("C:\\Lingora"), Programs() + "\\..\\Lingora"}) {
        SCOPED_TRACE(folder);
        Put(Old("Lingora.exe"));
        PutLog(LogText(folder, {"Lingora.exe"}, {"Lingora.lnk", "Victim.lnk"}));
        RemovePreviousInstallation(OldFolder, folder);
        EXPECT_TRUE(Exists(startMenu + "\\Lingora\\Lingora.lnk"));
        EXPECT_TRUE(Exists(startMenu + "\\Victim.lnk"));
        EXPECT_FALSE(Exists(OldFolder));
    }
}

// Links planted below the installation and Start-menu folders: what they lead
// to is not the installation's, and a logged file that is a link goes as the
// link. Names are matched ignoring case, as the walk does it by itself.
TEST_F(UninstallTest, LinksBelowTheFoldersAreNeverFollowed) {
    const fs::path outside = prefix_.Folder() / "outside";
    fs::create_directories(outside / "words");
    fs::create_directories(outside / "menu");
    for (const fs::path& file : {outside / "words" / "Keuken.wdl", outside / "menu" / "Lingora.lnk",
                                 outside / "Target.txt"})
        std::ofstream(file) << "not Setup's";
    Put(Old("Lingora.exe"));
    PutFolder(Old(""));
    fs::create_directory_symlink(outside / "words", prefix_.HostPath(OldFolder) / "Words");
    fs::create_symlink(outside / "Target.txt", prefix_.HostPath(OldFolder) / "Readme.txt");
    PutFolder(Programs());
    fs::create_directory_symlink(outside / "menu", prefix_.HostPath(Programs()) / "Lingora");
    PutLog(LogText("Lingora", {"LINGORA.EXE", "Words\\Keuken.wdl", "Readme.txt"}, {"Lingora.lnk"}));

    const TRemovalOutcome outcome = RemovePreviousInstallation(OldFolder, "Lingora", true);

    EXPECT_TRUE(fs::exists(outside / "words" / "Keuken.wdl"));
    EXPECT_TRUE(fs::exists(outside / "menu" / "Lingora.lnk"));
    EXPECT_TRUE(fs::exists(outside / "Target.txt"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(prefix_.HostPath(OldFolder) / "Readme.txt")));
    EXPECT_FALSE(Exists(Old("Lingora.exe")));
    // The two entries behind links remain, counted and named; the log stays
    // for a second run.
    EXPECT_EQ(outcome.Remaining, 2);
    EXPECT_EQ(outcome.NotOurs, 2);
    EXPECT_EQ(outcome.FirstNotOurs, Menu("Lingora\\Lingora.lnk"));
    EXPECT_TRUE(Exists(Old("Install.log")));
    EXPECT_FALSE(outcome.Stopped);
}

// A stop between entries leaves the log and what was not reached, counted as
// it stands (a listed file that was never made is not counted).
TEST_F(UninstallTest, StopBetweenEntriesKeepsTheLogAndCountsWhatRemains) {
    PutInstallation();
    int asked = 0;
    RemovalStopRequested = [&asked] { return ++asked > 4; };
    const TRemovalOutcome outcome =
        RemovePreviousInstallation(OldFolder, "Tarnwick\\Lingora", true);
    RemovalStopRequested = nullptr;
    // Three shortcuts and "Lingohlp.GID" (never made) went first.
    EXPECT_TRUE(outcome.Stopped);
    EXPECT_EQ(outcome.Remaining, 5);
    EXPECT_EQ(outcome.FirstRemaining, Old("Lingora.exe"));
    EXPECT_TRUE(Exists(Old("Install.log")));
    EXPECT_FALSE(Exists(Menu("Tarnwick\\Lingora\\Lingora.lnk")));

    // The second run finishes the job.
    const TRemovalOutcome again = RemovePreviousInstallation(OldFolder, "Tarnwick\\Lingora", true);
    EXPECT_EQ(again.Remaining, 0);
    EXPECT_FALSE(Exists(OldFolder));
    EXPECT_FALSE(Exists(Menu("Tarnwick")));
}

// A shell that cannot tell where the Programs folder is.
class NoProgramsShell : public ForwardingShell {
  public:
    using ForwardingShell::ForwardingShell;
    std::optional<std::string> GetSpecialFolderPath(int) override { return std::nullopt; }
};

TEST_F(UninstallTest, UnknownProgramsFolderLeavesTheShortcutsAlone) {
    NoProgramsShell shell(Shell());
    Platform platform = CurrentPlatform();
    platform.shell = &shell;
    ScopedPlatform noPrograms(platform);
    // Shortcut paths would otherwise be taken from the current folder.
    PutFolder("C:\\Current");
    Put("C:\\Current\\Lingora\\Lingora.lnk");
    auto current = prefix_.ChangeDirectory(prefix_.HostPath("C:\\Current"));

    Put(Old("Lingora.exe"));
    PutLog(LogText("Lingora", {"Lingora.exe"}, {"Lingora.lnk"}));
    RemovePreviousInstallation(OldFolder, "Lingora");
    EXPECT_TRUE(Exists("C:\\Current\\Lingora\\Lingora.lnk"));
    EXPECT_FALSE(Exists(OldFolder));
}

TEST_F(UninstallTest, MissingLogIsAnInputOutputError) {
    Put(Old("Lingora.exe"));
    EXPECT_THROW(RemovePreviousInstallation(OldFolder, "Lingora"), EInOutError);
    EXPECT_TRUE(Exists(Old("Lingora.exe")));
}

TEST(ContainedRelativePath, RefusesWhatLeavesTheFolder) {
    for (const char* path : {"Lingora.exe", "Data\\Words.dat", "a.b\\..c", "..x\\y", ".\\x", "x..",
                             "Sub\\.\\x", "", "Lingora Help.lnk"})
        EXPECT_TRUE(IsContainedRelativePath(path)) << path;
    for (const char* path :
         {"..", "..\\x", "a\\..", "a\\..\\b", "a/../b", "...", ". .\\x", "a\\.. ", "\\x", "/x",
          "\\\\server\\share", "C:x", "C:\\x", "x:stream", "Z:/etc/passwd"})
        EXPECT_FALSE(IsContainedRelativePath(path)) << path;
}

// --- Registry steps ----------------------------------------------------------

void WriteValue(RootKey root, const std::string& key, const std::string& name,
                const std::string& text) {
    TRegistry registry;
    registry.SetRootKey(root);
    ASSERT_TRUE(registry.OpenKey(key, true)) << key;
    registry.WriteString(name, text);
}

void CreateKey(RootKey root, const std::string& key) {
    TRegistry registry;
    registry.SetRootKey(root);
    ASSERT_TRUE(registry.OpenKey(key, true)) << key;
}

bool KeyExists(RootKey root, const std::string& key) {
    TRegistry registry;
    registry.SetRootKey(root);
    return registry.KeyExists(key);
}

class UninstallRegistryTest : public UninstallTest {
  protected:
    void SetUp() override {
        // The file type as an earlier installation left it.
        WriteValue(RootKey::ClassesRoot, "\\.wdl", "", "Lingora.Wordlist");
        WriteValue(RootKey::ClassesRoot, "\\Lingora.Wordlist", "", "Lingora wordlist");
        WriteValue(RootKey::ClassesRoot, "\\Lingora.Wordlist\\DefaultIcon", "",
                   "C:\\Old\\Lingora.exe,1");
        WriteValue(RootKey::ClassesRoot, "\\Lingora.Wordlist\\Shell", "", "Open");
        WriteValue(RootKey::ClassesRoot, "\\Lingora.Wordlist\\Shell\\Open\\command", "",
                   "C:\\Old\\Lingora.exe \"%1\"");
        WriteValue(RootKey::ClassesRoot, "\\Lingora.Wordlist\\Shell\\Openen\\command", "",
                   "C:\\Old\\Lingora.exe \"%1\"");
        PutLog(LogText("Lingora", {}, {}));
    }
};

TEST_F(UninstallRegistryTest, OldVerbsAndTheEmptyVersionKeyGoTheFileTypeStays) {
    CreateKey(RootKey::LocalMachine, "\\Software\\Tarnwick\\Lingora\\1.0");
    RemovePreviousInstallation(OldFolder, "Lingora");

    EXPECT_FALSE(KeyExists(RootKey::LocalMachine, "\\Software\\Tarnwick\\Lingora\\1.0"));
    EXPECT_TRUE(KeyExists(RootKey::LocalMachine, "\\Software\\Tarnwick\\Lingora"));
    for (const char* gone :
         {"\\Lingora.Wordlist\\Shell\\Open", "\\Lingora.Wordlist\\Shell\\Openen"})
        EXPECT_FALSE(KeyExists(RootKey::ClassesRoot, gone)) << gone;
    for (const char* stays : {"\\.wdl", "\\Lingora.Wordlist", "\\Lingora.Wordlist\\Shell",
                              "\\Lingora.Wordlist\\DefaultIcon"})
        EXPECT_TRUE(KeyExists(RootKey::ClassesRoot, stays)) << stays;
    TRegistry registry;
    registry.SetRootKey(RootKey::ClassesRoot);
    ASSERT_TRUE(registry.OpenKey("\\Lingora.Wordlist\\Shell", false));
    EXPECT_EQ(registry.ReadString(""), "Open");
}

TEST_F(UninstallRegistryTest, KeysThatHoldMoreStay) {
    WriteValue(RootKey::LocalMachine, "\\Software\\Tarnwick\\Lingora\\1.0", "Path", "C:\\LINGORA");
    WriteValue(RootKey::ClassesRoot, "\\Lingora.Wordlist\\Shell\\Open\\command", "Extra", "x");
    CreateKey(RootKey::ClassesRoot, "\\Lingora.Wordlist\\Shell\\Openen\\ddeexec");
    RemovePreviousInstallation(OldFolder, "Lingora");

    EXPECT_TRUE(KeyExists(RootKey::LocalMachine, "\\Software\\Tarnwick\\Lingora\\1.0"));
    TRegistry registry;
    registry.SetRootKey(RootKey::ClassesRoot);
    ASSERT_TRUE(registry.OpenKey("\\Lingora.Wordlist\\Shell\\Open\\command", false));
    EXPECT_FALSE(registry.ValueExists(""));  // the default value goes in any case
    EXPECT_EQ(registry.ReadString("Extra"), "x");
    registry.CloseKey();
    EXPECT_FALSE(KeyExists(RootKey::ClassesRoot, "\\Lingora.Wordlist\\Shell\\Openen\\command"));
    EXPECT_TRUE(KeyExists(RootKey::ClassesRoot, "\\Lingora.Wordlist\\Shell\\Openen\\ddeexec"));
}

TEST_F(UninstallRegistryTest, RegistryStepsComeBeforeTheLogIsRead) {
    fs::remove(prefix_.HostPath(Old("Install.log")));
    EXPECT_THROW(RemovePreviousInstallation(OldFolder, "Lingora"), EInOutError);
    EXPECT_FALSE(KeyExists(RootKey::ClassesRoot, "\\Lingora.Wordlist\\Shell\\Open"));
}

TEST_F(UninstallRegistryTest, DeleteHelpersLeaveMissingAndNonEmptyKeys) {
    TRegistry registry;
    registry.SetRootKey(RootKey::ClassesRoot);
    DeleteKeyIfEmpty(registry, "\\Lingora.Wordlist\\Missing");
    DeleteDefaultValueAndKeyIfEmpty(registry, "\\Lingora.Wordlist\\Missing");
    EXPECT_FALSE(registry.KeyExists("\\Lingora.Wordlist\\Missing"));

    DeleteKeyIfEmpty(registry, "\\Lingora.Wordlist\\Shell");          // has subkeys and a value
    DeleteDefaultValueAndKeyIfEmpty(registry, "\\Lingora.Wordlist");  // has subkeys
    EXPECT_TRUE(registry.KeyExists("\\Lingora.Wordlist\\Shell"));
    ASSERT_TRUE(registry.OpenKey("\\Lingora.Wordlist", false));
    EXPECT_FALSE(registry.ValueExists(""));
    registry.CloseKey();

    DeleteDefaultValueAndKeyIfEmpty(registry, "\\.wdl");  // only its default value
    EXPECT_FALSE(registry.KeyExists("\\.wdl"));
}

}  // namespace
