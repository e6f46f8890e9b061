// The wizard state at start: defaults, an earlier installation of this version,
// version 1.0, and an earlier Install.log that cannot be read.
#include <QLabel>
#include <QPushButton>

#include "dialogs/Unit_FormText.h"
#include "tests/wizard/WizardTestSupport.h"
#include "wizard/Main.h"

namespace {

constexpr char UninstallKey[] =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lingora";

class StartupTest : public WizardFixture {
  protected:
    // An uninstall entry whose program lives in folder.
    void RegisterEarlierInstallation(const std::string& folder) {
        WriteMachineString(UninstallKey, "UninstallString", folder + "\\Uninst.exe");
    }
};

TEST_F(StartupTest, WithoutUninstallEntryProposesProgramFilesAndLingora) {
    CreateForms();
    EXPECT_EQ(SetupPars.Page, TWizardPage::Welcome);
    EXPECT_EQ(SetupPars.InstallFolder, "C:\\Program Files\\Lingora");
    EXPECT_EQ(SetupPars.ProgramFolder, "Lingora");
    EXPECT_FALSE(SetupPars.PreviousInstallFound);
    EXPECT_FALSE(SetupPars.NoExitConfirmation);
    EXPECT_FALSE(OldVersionFound);
    EXPECT_EQ(MainForm->windowTitle(), "Lingora Setup");
}

TEST_F(StartupTest, ProgramFilesDirIsTakenFromTheRegistry) {
    WriteMachineString("Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
                       "D:\\Programme");
    CreateForms();
    EXPECT_EQ(SetupPars.InstallFolder, "D:\\Programme\\Lingora");
}

TEST_F(StartupTest, EntryWithoutLogKeepsTheDefaults) {
    RegisterEarlierInstallation("C:\\Old\\Lingora");
    CreateForms();
    EXPECT_FALSE(SetupPars.PreviousInstallFound);
    EXPECT_EQ(SetupPars.PreviousInstallFolder, "C:\\Old\\Lingora");
    EXPECT_EQ(SetupPars.InstallFolder, "C:\\Program Files\\Lingora");
    EXPECT_EQ(SetupPars.ProgramFolder, "Lingora");
}

TEST_F(StartupTest, LogEndingWithTheMarkerIsNoEarlierInstallation) {
    RegisterEarlierInstallation("C:\\Old\\Lingora");
    prefix_.WriteFile("C:\\Old\\Lingora\\Install.log",
                      "*** Don't change or delete this file ***\r\n\r\n{program folder}\r\n");
    CreateForms();
    EXPECT_FALSE(SetupPars.PreviousInstallFound);
    EXPECT_EQ(SetupPars.InstallFolder, "C:\\Program Files\\Lingora");
}

TEST_F(StartupTest, EarlierInstallationIsProposedAgain) {
    RegisterEarlierInstallation("C:\\Apps\\Lingora");
    // The marker compares exactly: a line in another case is no marker.
    prefix_.WriteFile("C:\\Apps\\Lingora\\Install.log",
                      "*** Don't change or delete this file ***\r\n\r\n{Program Folder}\r\nNo\r\n"
                      "{program folder}\r\nWord lists\\Lingora\r\n\r\n{program files}\r\n");
    CreateForms();
    EXPECT_TRUE(SetupPars.PreviousInstallFound);
    EXPECT_FALSE(OldVersionFound);
    EXPECT_EQ(SetupPars.PreviousInstallFolder, "C:\\Apps\\Lingora");
    EXPECT_EQ(SetupPars.PreviousProgramFolder, "Word lists\\Lingora");
    EXPECT_EQ(SetupPars.InstallFolder, "C:\\Apps\\Lingora");
    EXPECT_EQ(SetupPars.ProgramFolder, "Word lists\\Lingora");
}

TEST_F(StartupTest, VersionOneIsDetectedWithItsUninstallCommand) {
    WriteMachineString(UninstallKey, "UninstallString",
                       "C:\\LINGORA\\UNINST.EXE C:\\LINGORA\\INSTALL.LOG");
    WriteMachineString("Software\\Tarnwick\\Lingora\\1.0", "Version", "1.0");
    CreateForms();
    EXPECT_TRUE(OldVersionFound);
    EXPECT_EQ(OldUninstallCommand, "C:\\LINGORA\\UNINST.EXE C:\\LINGORA\\INSTALL.LOG");
    // The folder part runs up to the last backslash, which here is in the parameters.
    EXPECT_EQ(SetupPars.PreviousInstallFolder, "C:\\LINGORA\\UNINST.EXE C:\\LINGORA");
}

TEST_F(StartupTest, UnreadableLogIsShownAndTheWizardStartsWithDefaults) {
    RegisterEarlierInstallation("C:\\Apps\\Lingora");
    prefix_.WriteFile("C:\\Apps\\Lingora\\Install.log", "{program folder}\r\nLingora\r\n");
    DenyingFileSystem files(prefix_.Machine().Files(), "C:\\Apps\\Lingora");
    Platform platform = CurrentPlatform();
    platform.files = &files;
    ScopedPlatform denied(platform);

    ModalAnswer error(AcceptMessageBox);
    CreateForms();
    EXPECT_TRUE(error.Answered());
    EXPECT_EQ(error.Title(), "Setup");
    EXPECT_FALSE(error.Text().empty());
    EXPECT_FALSE(SetupPars.PreviousInstallFound);
    EXPECT_EQ(SetupPars.InstallFolder, "C:\\Program Files\\Lingora");
    EXPECT_EQ(SetupPars.ProgramFolder, "Lingora");
    // Every caption is set all the same.
    EXPECT_EQ(MainForm->windowTitle(), "Lingora Setup");
    EXPECT_EQ(MainForm->NextButton->text(), "&Next >");
    EXPECT_TRUE(MainForm->WelcomeLabel->text().startsWith("Welcome to Lingora Setup."));
    EXPECT_FALSE(MainForm->WizardImage->pixmap().isNull());
}

class Win64StartupTest : public WizardFixture {
  protected:
    Win64StartupTest() : WizardFixture(PrefixArch::Win64) {}
};

TEST_F(Win64StartupTest, ProgramFilesIsThatOfA32BitProgram) {
    CreateForms();
    EXPECT_EQ(SetupPars.InstallFolder, "C:\\Program Files (x86)\\Lingora");
}

}  // namespace
