// Whole installations driven through the wizard window, offscreen, from a set
// of data volumes into a fresh Wine prefix, checked on the prefix afterwards:
// the files, Install.log, the registry files and the shortcut files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/DiagnosticLogFile.h"
#include "app/Forms.h"
#include "app/Unattended.h"
#include "dialogs/Unit_Constants.h"
#include "dialogs/Unit_ExitForm.h"
#include "dialogs/Unit_FullScreenForm.h"
#include "dialogs/Unit_UninstallOldForm.h"
#include "extract/Unit_ExtractForm.h"
#include "extract/Unit_ExtractThread.h"
#include "installlog/Unit_Logfile.h"
#include "installlog/Unit_Paths.h"
#include "platform/CodePage.h"
#include "platform/Platform.h"
#include "platform/TRegistry.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/RegistryFileReader.h"
#include "tests/support/ShellCommand.h"
#include "tests/support/ShellLinkReader.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TempPrefix.h"
#include "tests/support/VolumeSetWriter.h"
#include "volumes/DiskSearch.h"
#include "wizard/AnswerFile.h"
#include "wizard/Main.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using testset::Record;
using testset::VolumeSet;
using testset::WriteVolumeSet;

constexpr char LogHeader[] = "*** Don't change or delete this file ***\r\n\r\n{program folder}\r\n";
constexpr char ShortcutSection[] =
    "\r\n{program folder files}\r\nLingora.lnk\r\nLingora Help.lnk\r\nUninstall Lingora.lnk\r\n";

std::string Bytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = char((i * 131 + seed * 7 + i / 251) & 0xFF);
    return bytes;
}

// The product's files: stand-ins of the program, its help and its uninstaller,
// word lists in a folder of their own, an empty file and a Windows-1252 name.
std::vector<Record> Payload() {
    return {
        {"Lingora.exe", Bytes(2500, 1)},
        {"Lingohlp.hlp", Bytes(1200, 2)},
        {"Uninst.exe", Bytes(700, 3)},
        {"Voorbeeld.wdl", "het huis\tthe house\r\nde boom\tthe tree\r\n"},
        {"Words\\Keuken.wdl", Bytes(900, 4)},
        {"Words\\Leeg.wdl", ""},
        {"Words\\Caf\xE9.wdl", "caf\xE9\tcaf\xE9\r\n"},
    };
}

bool IsForm(QWidget* widget, const char* name) { return widget->objectName() == name; }

class InstallationTest : public testing::Test {
  protected:
    void SetUp() override {
        BuildTexts();
        current_ = prefix_.ChangeDirectory(volumes_.Path());
    }
    void TearDown() override {
        DestroyForms();
        ReleaseTexts();
    }

    // The forms in the program's order; the wizard reads the machine as it is now.
    void CreateForms() { ::CreateForms(); }
    void DestroyForms() { ::DestroyForms(); }

    void ClearVolumes() {
        for (const auto& entry : fs::directory_iterator(volumes_.Path())) fs::remove(entry.path());
    }

    void Next() {
        ASSERT_TRUE(MainForm->NextButton->isVisible() && MainForm->NextButton->isEnabled());
        QTest::mouseClick(MainForm->NextButton, Qt::LeftButton);
    }

    // Starts the wizard and walks it to the confirmation page, checking the
    // folders it proposes and typing the ones given.
    void WalkToConfirmation(const std::string& proposedFolder, const std::string& proposedMenu,
                            const std::string& folder, const std::string& menu) {
        CreateForms();
        MainForm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(MainForm));
        Next();
        QTest::mouseClick(MainForm->AgreeRadio, Qt::LeftButton);
        Next();
        ASSERT_EQ(SetupPars.Page, TWizardPage::InstallFolder);
        EXPECT_EQ(MainForm->InstallDirEdit->text().toStdString(), AnsiToUtf8(proposedFolder));
        MainForm->InstallDirEdit->setText(QString::fromStdString(AnsiToUtf8(folder)));
        Next();
        ASSERT_EQ(SetupPars.Page, TWizardPage::ProgramFolder);
        EXPECT_EQ(MainForm->ProgFolderEdit->text().toStdString(), AnsiToUtf8(proposedMenu));
        MainForm->ProgFolderEdit->setText(QString::fromStdString(AnsiToUtf8(menu)));
        Next();
        ASSERT_EQ(SetupPars.Page, TWizardPage::Confirmation);
    }

    // A whole installation that is expected to finish.
    void Install(const std::string& proposedFolder, const std::string& proposedMenu,
                 const std::string& folder, const std::string& menu) {
        WalkToConfirmation(proposedFolder, proposedMenu, folder, menu);
        if (HasFatalFailure()) return;
        Next();  // the copying runs in the progress window until it ends
        ASSERT_EQ(SetupPars.Page, TWizardPage::Finished);
        EXPECT_TRUE(MainForm->FinishButton->isVisible());
        EXPECT_TRUE(MainForm->RestartCheckbox->isChecked());
        MainForm->RestartCheckbox->setChecked(false);
        QTest::mouseClick(MainForm->FinishButton, Qt::LeftButton);
        EXPECT_FALSE(MainForm->isVisible());
        EXPECT_TRUE(prefix_.Started().empty());  // no restart
        DestroyForms();
    }

    bool Exists(const std::string& windowsPath) {
        std::error_code error;
        return fs::exists(prefix_.HostPath(windowsPath), error);
    }

    void ExpectFiles(const std::string& folder, const std::vector<Record>& files) {
        for (const Record& file : files) {
            const std::string installed = prefix_.ReadFile(JoinPath(folder, file.name));
            EXPECT_TRUE(installed == file.data) << file.name << ": " << installed.size()
                                                << " bytes, " << file.data.size() << " expected";
        }
    }

    std::string ExpectedLog(const std::string& menu, const std::vector<Record>& files) {
        std::string log = LogHeader + menu + "\r\n\r\n{program files}\r\nLingohlp.GID\r\n";
        for (const Record& file : files) log += file.name + "\r\n";
        return log + ShortcutSection + "\r\n";
    }

    void ExpectShortcuts(const std::string& folder, const std::string& menu) {
        const std::string shortcuts = JoinPath(prefix_.ProgramsFolder(), menu);
        const std::pair<const char*, const char*> links[] = {
            {"Lingora.lnk", "Lingora.exe"},
            {"Lingora Help.lnk", "Lingohlp.hlp"},
            {"Uninstall Lingora.lnk", "Uninst.exe"}};
        for (const auto& [link, target] : links) {
            SCOPED_TRACE(link);
            const std::string file = JoinPath(shortcuts, link);
            const auto content = ReadShellLink(prefix_.ReadFile(file));
            ASSERT_TRUE(content.has_value());
            EXPECT_EQ(content->target, JoinPath(folder, target));
            EXPECT_EQ(content->workingFolder, folder);
            ExpectLnkinfoReads(prefix_.HostPath(file), JoinPath(folder, target), folder);
        }
    }

    // What lnkinfo (liblnk-utils) reads from a link: "Local path", "Working directory" ...
    static std::map<std::string, std::string> Lnkinfo(const fs::path& file) {
        std::map<std::string, std::string> fields;
        const std::string command = "lnkinfo '" + file.string() + "' 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return fields;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            std::string line = buffer;
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            const std::size_t colon = line.find(": ");
            if (line.empty() || line[0] != '\t' || colon == std::string::npos) continue;
            std::string name = line.substr(1, line.find('\t', 1) - 1);
            if (name.size() > colon) name = line.substr(1, colon - 1);
            while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
            fields[name] = line.substr(colon + 2);
        }
        fields["exit"] = std::to_string(pclose(pipe));
        return fields;
    }

    static void ExpectLnkinfoReads(const fs::path& file, const std::string& target,
                                   const std::string& folder) {
        if (std::system("command -v lnkinfo >/dev/null 2>&1") != 0) return;
        auto fields = Lnkinfo(file);
        EXPECT_EQ(fields["exit"], "0");
        EXPECT_EQ(fields["Local path"], AnsiToUtf8(target));
        EXPECT_EQ(fields["Working directory"], AnsiToUtf8(folder));
    }

    void ExpectRegistry(const std::string& folder) {
        auto keys = RegistryFileKeys(TempFolder::ReadFile(prefix_.Folder() / "system.reg"));
        std::string doubled;
        for (const char c : AnsiToUtf8(folder))
            doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
        const std::string exe = doubled + "\\\\Lingora.exe";
        EXPECT_EQ(
            keys["Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Lingora"],
            (Lines{"\"DisplayName\"=\"Lingora\"",
                   "\"UninstallString\"=\"" + doubled + "\\\\Uninst.exe\""}));
        EXPECT_EQ(keys["Software\\\\Classes\\\\.wdl"], Lines{"@=\"Lingora.Wordlist\""});
        EXPECT_EQ(keys["Software\\\\Classes\\\\Lingora.Wordlist"], Lines{"@=\"Lingora wordlist\""});
        EXPECT_EQ(keys["Software\\\\Classes\\\\Lingora.Wordlist\\\\DefaultIcon"],
                  Lines{"@=\"" + exe + ",1\""});
        EXPECT_EQ(keys["Software\\\\Classes\\\\Lingora.Wordlist\\\\Shell"], Lines{"@=\"Open\""});
        EXPECT_EQ(keys.count("Software\\\\Classes\\\\Lingora.Wordlist\\\\Shell\\\\Open"), 1u);
        EXPECT_EQ(keys["Software\\\\Classes\\\\Lingora.Wordlist\\\\Shell\\\\Open"], Lines{});
        EXPECT_EQ(keys["Software\\\\Classes\\\\Lingora.Wordlist\\\\Shell\\\\Open\\\\command"],
                  Lines{"@=\"" + exe + " \\\"%1\\\"\""});
    }

    static void WriteString(RootKey root, const std::string& key, const std::string& name,
                            const std::string& text) {
        TRegistry registry;
        registry.SetRootKey(root);
        ASSERT_TRUE(registry.OpenKey(key, true));
        registry.WriteString(name, text);
    }
    static bool KeyExists(RootKey root, const std::string& key) {
        TRegistry registry;
        registry.SetRootKey(root);
        return registry.KeyExists(key);
    }

    TempPrefix prefix_;
    TempFolder volumes_;
    std::unique_ptr<TempPrefix::CurrentDirectory> current_;
};

TEST_F(InstallationTest, WholeInstallationFromASetOfSeveralVolumes) {
    const VolumeSet set = WriteVolumeSet(volumes_.Path(), Payload(), 1000);
    ASSERT_GE(set.volumes.size(), 5u);
    const std::string folder = "C:\\Program Files\\Lingora";

    Install(folder, "Lingora", folder, "Tarnwick\\Lingora");

    ExpectFiles(folder, Payload());
    EXPECT_EQ(prefix_.ReadFile(JoinPath(folder, "Install.log")),
              ExpectedLog("Tarnwick\\Lingora", Payload()));
    ExpectRegistry(folder);
    ExpectShortcuts(folder, "Tarnwick\\Lingora");
}

// What an installation leaves on a prefix: every file below drive_c with its
// bytes, and the rows of both registry files without the times of the keys.
std::map<std::string, std::string> PrefixContent(const fs::path& prefix) {
    std::map<std::string, std::string> content;
    for (const auto& entry : fs::recursive_directory_iterator(prefix / "drive_c")) {
        if (entry.is_symlink()) continue;
        content[fs::relative(entry.path(), prefix).string()] =
            entry.is_directory() ? "folder" : TempFolder::ReadFile(entry.path());
    }
    for (const char* file : {"system.reg", "user.reg"}) {
        std::string rows;
        std::istringstream lines(TempFolder::ReadFile(prefix / file));
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("#time=", 0) == 0) continue;
            if (!line.empty() && line[0] == '[') line = line.substr(0, line.rfind(']') + 1);
            rows += line + "\n";
        }
        content[file] = rows;
    }
    return content;
}

// Two prefixes' contents (PrefixContent), file by file.
void ExpectSameContent(const std::map<std::string, std::string>& expected,
                       const std::map<std::string, std::string>& actual) {
    EXPECT_EQ(actual.size(), expected.size());
    for (const auto& [name, bytes] : expected) {
        const auto found = actual.find(name);
        ASSERT_NE(found, actual.end()) << name;
        EXPECT_TRUE(found->second == bytes) << name << " differs";
    }
}

TEST_F(InstallationTest, UnattendedInstallationLeavesWhatTheWizardLeaves) {
    WriteVolumeSet(volumes_.Path(), Payload(), 3000);
    const std::string folder = "C:\\Programs\\Taal & Woorden";
    const std::string menu = "Taal & Woorden\\Nederlands";
    Install("C:\\Program Files\\Lingora", "Lingora", folder, menu);
    const auto byWizard = PrefixContent(prefix_.Folder());
    ASSERT_GT(byWizard.size(), Payload().size());

    TempPrefix other;
    TUnattendedOptions options;
    options.AcceptLicence = true;
    options.Dir = folder;
    options.Group = menu;
    options.GroupGiven = true;
    options.Quiet = true;
    options.Sources = {volumes_.Path().string()};
    ASSERT_EQ(InstallUnattended(options, stderr), 0);
    const auto unattended = PrefixContent(other.Folder());
    ExpectSameContent(byWizard, unattended);
}

TEST_F(InstallationTest, SecondInstallationRemovesTheFirst) {
    WriteVolumeSet(volumes_.Path(), Payload(), 1000);
    const std::string first = "C:\\Program Files\\Lingora";
    Install(first, "Lingora", first, "Tarnwick\\Lingora");
    EXPECT_TRUE(
        fs::exists(prefix_.Machine().Desktop().MenuEntryFile("Tarnwick\\Lingora", "Lingora")));
    // A verb of the older layout beside the one written now.
    WriteString(RootKey::ClassesRoot, "\\Lingora.Wordlist\\Shell\\Openen\\command", "",
                "C:\\Old\\Lingora.exe \"%1\"");
    // Something of the user's own in the first folder.
    prefix_.WriteFile(JoinPath(first, "Words\\Mine.wdl"), "mijn\tmine\r\n");

    ClearVolumes();
    std::vector<Record> second = Payload();
    second.erase(second.begin() + 4);  // "Words\Keuken.wdl" is no longer part of the product
    second.push_back({"Words\\Nieuw.wdl", "nieuw\tnew\r\n"});
    WriteVolumeSet(volumes_.Path(), second, 800);
    const std::string again = "C:\\Lingora 2";

    // The earlier folders are proposed; the user picks new ones.
    Install(first, "Tarnwick\\Lingora", again, "Lingora");

    EXPECT_FALSE(Exists(JoinPath(first, "Lingora.exe")));
    EXPECT_FALSE(Exists(JoinPath(first, "Words\\Keuken.wdl")));
    EXPECT_FALSE(Exists(JoinPath(first, "Install.log")));
    EXPECT_TRUE(Exists(JoinPath(first, "Words\\Mine.wdl")));  // not the setup's to remove
    EXPECT_FALSE(Exists(JoinPath(prefix_.ProgramsFolder(), "Tarnwick")));
    EXPECT_FALSE(KeyExists(RootKey::ClassesRoot, "\\Lingora.Wordlist\\Shell\\Openen"));
    // The desktop's menu follows the Start menu.
    HostDesktop& desktop = prefix_.Machine().Desktop();
    EXPECT_FALSE(fs::exists(desktop.MenuEntryFile("Tarnwick\\Lingora", "Lingora")));
    EXPECT_FALSE(fs::exists(desktop.Settings().dataHome / "applications" / "wine" / "Programs" /
                            "Tarnwick"));
    EXPECT_TRUE(fs::exists(desktop.MenuEntryFile("Lingora", "Uninstall Lingora")));
    EXPECT_TRUE(fs::exists(desktop.FileTypeEntryFile(".wdl")));

    ExpectFiles(again, second);
    EXPECT_EQ(prefix_.ReadFile(JoinPath(again, "Install.log")), ExpectedLog("Lingora", second));
    ExpectRegistry(again);
    ExpectShortcuts(again, "Lingora");

    // A third run proposes the second installation and removes it in place.
    ClearVolumes();
    WriteVolumeSet(volumes_.Path(), Payload(), 100000);
    Install(again, "Lingora", again, "Lingora");
    EXPECT_FALSE(Exists(JoinPath(again, "Words\\Nieuw.wdl")));
    ExpectFiles(again, Payload());
    EXPECT_EQ(prefix_.ReadFile(JoinPath(again, "Install.log")), ExpectedLog("Lingora", Payload()));
    ExpectShortcuts(again, "Lingora");
    ExpectRegistry(again);
}

TEST_F(InstallationTest, AnUnwritableDesktopIsAWarningAndTheInstallationFinishes) {
    WriteVolumeSet(volumes_.Path(), Payload(), 100000);
    const fs::path data = prefix_.Machine().Desktop().Settings().dataHome;
    fs::create_directories(data.parent_path());
    std::ofstream(data) << "a file where the desktop's folder should be";
    std::string warning;
    ModalAnswer answer(
        "message box", [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
        [&warning](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            warning = box->text().toStdString();
            // SETUP_SCREENSHOTS names a folder for a picture of the warning.
            const QString shots = qEnvironmentVariable("SETUP_SCREENSHOTS");
            if (!shots.isEmpty()) box->grab().save(shots + "/09-desktop-warning.png");
            box->accept();
        });
    const std::string folder = "C:\\Program Files\\Lingora";
    Install(folder, "Lingora", folder, "Lingora");
    EXPECT_TRUE(answer.Answered());
    EXPECT_NE(warning.find("could not all be written"), std::string::npos) << warning;
    EXPECT_NE(warning.find(data.string()), std::string::npos) << warning;
    ExpectRegistry(folder);
    ExpectShortcuts(folder, "Lingora");
}

TEST_F(InstallationTest, CopyCancelledAtADiskChangeKeepsWhatWasCopied) {
    const std::vector<Record> files = Payload();
    // The program ends in the first volume, the help file runs into the second.
    const VolumeSet set = WriteVolumeSet(volumes_.Path(), files, 3000);
    ASSERT_EQ(set.headerVolume[1], 1);
    ASSERT_EQ(set.headerVolume[2], 2);
    fs::remove(set.volumes[1]);  // the second disk is not there
    const std::string folder = "C:\\Program Files\\Lingora";

    WalkToConfirmation(folder, "Lingora", folder, "Lingora");
    ModalAnswer changeDisk(
        "disk prompt", [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
        [](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            EXPECT_EQ(box->text(), "Insert disk 2 in the disk drive and click OK.");
            QTest::keyClick(box, Qt::Key_Escape);
        });
    ModalAnswer exitQuestion(
        "exit question", [](QWidget* w) { return IsForm(w, "ExitForm"); },
        [](QWidget*) { QTest::mouseClick(ExitForm->ExitButton, Qt::LeftButton); });
    Next();
    EXPECT_TRUE(changeDisk.Answered());
    EXPECT_TRUE(exitQuestion.Answered());
    QTest::qWait(0);
    EXPECT_FALSE(MainForm->isVisible());  // closed without asking again

    std::string log = std::string(LogHeader) + "Lingora\r\n\r\n{program files}\r\nLingohlp.GID\r\n";
    for (std::size_t i = 0; i < files.size() && set.headerVolume[i] == 1; ++i)
        log += files[i].name + "\r\n";
    EXPECT_EQ(prefix_.ReadFile(JoinPath(folder, "Install.log")), log + "\r\n");
    ExpectFiles(folder, {files[0]});
    const std::string help = prefix_.ReadFile(JoinPath(folder, "Lingohlp.hlp"));
    EXPECT_FALSE(help.empty());
    EXPECT_TRUE(files[1].data.starts_with(help)) << help.size() << " bytes";
    EXPECT_FALSE(Exists(JoinPath(folder, "Uninst.exe")));
    EXPECT_FALSE(Exists(JoinPath(prefix_.ProgramsFolder(), "Lingora")));
    EXPECT_FALSE(KeyExists(RootKey::LocalMachine,
                           "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lingora"));
    EXPECT_FALSE(KeyExists(RootKey::ClassesRoot, "\\.wdl"));
}

class VersionOneTest : public InstallationTest {
  protected:
    void SetUp() override {
        InstallationTest::SetUp();
        WriteString(RootKey::LocalMachine,
                    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lingora",
                    "UninstallString", "C:\\LINGORA\\UNINST.EXE C:\\LINGORA\\INSTALL.LOG");
        TRegistry registry;
        registry.SetRootKey(RootKey::LocalMachine);
        ASSERT_TRUE(registry.OpenKey("\\Software\\Tarnwick\\Lingora\\1.0", true));
        // A stand-in for the uninstaller of version 1.0.
        prefix_.WriteFile("C:\\LINGORA\\UNINST.EXE", "stand-in for the version 1.0 uninstaller");
        prefix_.WriteFile("C:\\LINGORA\\INSTALL.LOG", "version 1.0 log");
        CreateForms();
    }
};

TEST_F(VersionOneTest, YesStartsItsUninstallerAndEndsTheSetup) {
    if (std::system("command -v wine >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "wine is needed to start a Windows program";
    ModalAnswer prompt(
        "version-1.0 prompt", [](QWidget* w) { return IsForm(w, "UninstallOldForm"); },
        [](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
    MainForm->show();
    QTest::qWait(0);
    EXPECT_TRUE(prompt.Answered());
    EXPECT_FALSE(MainForm->isVisible());
    EXPECT_FALSE(FullScreenForm->isVisible());

    ASSERT_EQ(prefix_.Started().size(), 1u);
    const ProcessRequest& start = prefix_.Started()[0];
    ASSERT_EQ(start.arguments.size(), 3u);
    EXPECT_EQ(fs::path(start.arguments[0]).filename(), "wine");
    EXPECT_EQ(fs::path(start.arguments[1]), prefix_.HostPath("C:\\LINGORA\\UNINST.EXE"));
    EXPECT_EQ(start.arguments[2], "C:\\LINGORA\\INSTALL.LOG");
    EXPECT_EQ(fs::canonical(start.workingFolder), fs::canonical(prefix_.HostPath("C:\\LINGORA")));
}

TEST_F(VersionOneTest, NoShowsTheFirstPageWithoutTheBackdrop) {
    ModalAnswer prompt(
        "version-1.0 prompt", [](QWidget* w) { return IsForm(w, "UninstallOldForm"); },
        [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    MainForm->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(MainForm));
    EXPECT_TRUE(prompt.Answered());
    EXPECT_TRUE(MainForm->isVisible());
    EXPECT_EQ(SetupPars.Page, TWizardPage::Welcome);
    EXPECT_TRUE(MainForm->WelcomeLabel->isVisible());
    EXPECT_FALSE(FullScreenForm->isVisible());
    EXPECT_TRUE(prefix_.Started().empty());
    SetupPars.NoExitConfirmation = true;
    MainForm->close();
}

// The lines of a diagnostic log without their time stamps.
std::vector<std::string> DiagnosticLines(const fs::path& file) {
    std::vector<std::string> lines;
    std::istringstream text(TempFolder::ReadFile(file));
    for (std::string line; std::getline(text, line);) lines.push_back(line.substr(30));
    return lines;
}

bool Logged(const std::vector<std::string>& lines, const std::string& utf8) {
    return std::find(lines.begin(), lines.end(), utf8) != lines.end();
}

bool LoggedStart(const std::vector<std::string>& lines, const std::string& utf8) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.rfind(utf8, 0) == 0; });
}

// A registry file's text with its escapes undone (\\ and \").
std::string Unescaped(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        plain += text[i];
    }
    return plain;
}

// The diagnostic log of an unattended installation from two disks in sibling
// folders names, as the installation left them: every file of Install.log with
// its size, every shortcut, every registry value that is new in system.reg,
// every file of the desktop's folders, and each folder the search for disk 2
// looked in up to the one it took.
TEST_F(InstallationTest, TheDiagnosticLogNamesWhatATwoDiskInstallationWrote) {
    const fs::path disk1 = volumes_.Path() / "Disk1";
    const fs::path disk2 = volumes_.Path() / "Disk2";
    const VolumeSet set = WriteVolumeSet(disk1, Payload(), 5000);
    ASSERT_EQ(set.volumes.size(), 2u);
    testset::WriteDigestFile(disk1, testset::kSetIdentity);
    fs::create_directories(disk2);
    fs::rename(disk1 / "Setup.d02", disk2 / "Setup.d02");
    fs::copy_file(disk1 / "Setup.sum", disk2 / "Setup.sum");
    const auto before = RegistryFileKeys(TempFolder::ReadFile(prefix_.Folder() / "system.reg"));

    const fs::path logFile = volumes_.Path() / "setup.log";
    std::string error;
    const std::unique_ptr<DiagnosticLogFile> log = DiagnosticLogFile::Open(logFile.string(), error);
    ASSERT_TRUE(log) << error;
    diag::ILog* const previous = diag::Install(log.get());
    TUnattendedOptions options;
    options.AcceptLicence = true;
    options.Dir = "C:\\Programs\\Taal & Woorden";
    options.Quiet = true;
    options.Sources = {disk1.string()};
    const int code = InstallUnattended(options, stderr);
    diag::Install(previous);
    ASSERT_EQ(code, 0);
    const std::vector<std::string> lines = DiagnosticLines(logFile);

    const std::string folder = options.Dir;
    const TInstallLog record = ReadInstallLog(JoinPath(folder, "Install.log"));
    ASSERT_EQ(record.ProgramFiles.size(), Payload().size() + 1);
    for (const std::string& name : record.ProgramFiles) {
        if (name == "Lingohlp.GID") continue;  // listed, never written
        const std::uintmax_t size = fs::file_size(prefix_.HostPath(JoinPath(folder, name)));
        EXPECT_TRUE(Logged(lines, AnsiToUtf8("wrote file " + JoinPath(folder, name) + " (" +
                                             std::to_string(size) + " bytes)")))
            << name;
    }
    const std::string menu = JoinPath(prefix_.ProgramsFolder(), record.ProgramFolder);
    ASSERT_EQ(record.ProgramFolderFiles.size(), 3u);
    for (const std::string& link : record.ProgramFolderFiles)
        EXPECT_TRUE(
            LoggedStart(lines, AnsiToUtf8("shortcut made: " + JoinPath(menu, link) + " -> ")))
            << link;

    std::size_t values = 0;
    for (const auto& [key, rows] :
         RegistryFileKeys(TempFolder::ReadFile(prefix_.Folder() / "system.reg"))) {
        const auto old = before.find(key);
        const std::string path = Unescaped(key);
        const std::string classes = "Software\\Classes\\";
        const std::string named = path.rfind(classes, 0) == 0
                                      ? "HKEY_CLASSES_ROOT\\" + path.substr(classes.size())
                                      : "HKEY_LOCAL_MACHINE\\" + path;
        for (const std::string& row : rows) {
            if (old != before.end() &&
                std::find(old->second.begin(), old->second.end(), row) != old->second.end())
                continue;
            const std::size_t equals = row.find("=\"");
            ASSERT_NE(equals, std::string::npos) << row;
            const std::string name = row[0] == '@' ? "" : Unescaped(row.substr(1, equals - 2));
            const std::string data = Unescaped(row.substr(equals + 2, row.size() - equals - 3));
            EXPECT_TRUE(Logged(
                lines, "registry value written: " + named + " \"" + name + "\" = \"" + data + "\""))
                << row;
            ++values;
        }
    }
    EXPECT_EQ(values, 7u);

    const DesktopSettings& desktop = prefix_.Machine().Desktop().Settings();
    std::size_t desktopFiles = 0;
    for (const fs::path& root : {desktop.dataHome, desktop.configHome}) {
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            // The desktop's own databases are made by its tools, not by Setup.
            if (!entry.is_regular_file() ||
                (entry.path().string().find("/mime/") != std::string::npos &&
                 entry.path().parent_path().filename() != "packages"))
                continue;
            if (entry.path().filename() == "mimeinfo.cache") continue;
            EXPECT_TRUE(LoggedStart(lines, "desktop file written: " + entry.path().string() + " ("))
                << entry.path();
            ++desktopFiles;
        }
    }
    EXPECT_GE(desktopFiles, 3u);

    // Disk 2: each folder in the search's order up to the one it was found in.
    const std::string folder2 = disks::NormalFolder(disk2.string());
    bool taken = false;
    for (const std::string& looked : DiskSearch().Folders(2)) {
        EXPECT_TRUE(LoggedStart(lines, "disk 2: looked in " + looked + ": ")) << looked;
        if (looked == folder2) {
            EXPECT_TRUE(Logged(lines, "disk 2: looked in " + looked + ": taken"));
            taken = true;
            break;
        }
    }
    EXPECT_TRUE(taken);
    EXPECT_TRUE(
        Logged(lines, "disk 1: looked in " + disks::NormalFolder(disk1.string()) + ": taken"));
    EXPECT_TRUE(Logged(lines, "volume 2: size and digest match the digest file"));
}

// The wizard saves its answers when the run is confirmed (restart as chosen on
// the finished page); the program, unattended with that file, makes the same
// installation on another prefix: every file below drive_c (Install.log byte
// for byte) and the rows of the registry files.
TEST_F(InstallationTest, AnswersSavedByTheWizardGiveTheSameInstallationUnattended) {
    WriteVolumeSet(volumes_.Path(), Payload(), 3000);
    const fs::path answers = volumes_.Path() / "answers" / "lingora.ini";
    fs::create_directories(answers.parent_path());
    SaveAnswersPath = answers.string();
    Install("C:\\Program Files\\Lingora", "Lingora", "C:\\Programs\\Caf\xE9 & Woorden",
            "Taal & Woorden\\Nederlands");
    SaveAnswersPath.clear();
    const std::string saved = TempFolder::ReadFile(answers);
    EXPECT_EQ(saved.rfind("; Lingora Setup 2.0 answers", 0), 0u) << saved;
    EXPECT_NE(saved.find("Restart=false"), std::string::npos) << saved;
    const auto byWizard = PrefixContent(prefix_.Folder());

    TempPrefix other;
    const std::string command =
        "cd / && env -i PATH=\"$PATH\" HOME=" + ShellQuoted(other.Folder().parent_path().string()) +
        " WINEPREFIX=" + ShellQuoted(other.Folder().string()) +
        " XDG_DATA_HOME=" + ShellQuoted(other.Machine().Desktop().Settings().dataHome.string()) +
        " XDG_CONFIG_HOME=" +
        ShellQuoted(other.Machine().Desktop().Settings().configHome.string()) +
        " " SETUP_PATH " --unattended --accept-licence --quiet --answers " +
        ShellQuoted(answers.string()) + " --source " + ShellQuoted(volumes_.Path().string()) +
        " 2>&1";
    int status = -1;
    const std::string output = RunShellCommand(command, &status);
    ASSERT_EQ(status, 0) << output;
    const auto unattended = PrefixContent(other.Folder());
    ExpectSameContent(byWizard, unattended);
    EXPECT_TRUE(fs::exists(
        other.Machine().Desktop().MenuEntryFile("Taal & Woorden\\Nederlands", "Lingora")));
}

}  // namespace
