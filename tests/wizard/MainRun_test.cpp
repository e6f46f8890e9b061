// The installation run from the confirmation page: removal of an earlier
// installation, the log, the copying, shortcuts and registry entries, and what
// an aborted copy or a failing step leaves.
#include <unistd.h>

#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <fstream>

#include "dialogs/Unit_ExitForm.h"
#include "extract/Unit_ExtractForm.h"
#include "install/Unit_Installation.h"
#include "platform/Exceptions.h"
#include "platform/TRegistry.h"
#include "platform/host/machine/PrefixLock.h"
#include "tests/wizard/WizardTestSupport.h"
#include "volumes/VolumeFormat.h"
#include "wizard/Main.h"

namespace {

namespace fs = std::filesystem;

constexpr char UninstallKey[] =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lingora";

class RunTest : public WizardFixture {
  protected:
    void SetUp() override {
        WizardFixture::SetUp();
        volumes_ = prefix_.Folder().parent_path() / "volumes";
        fs::create_directories(volumes_);
        cwd_ = prefix_.ChangeDirectory(volumes_);
    }
    void TearDown() override {
        WizardFixture::TearDown();
        cwd_.reset();
    }

    // Setup.d01 with one record of `size` bytes, of which `data` is in this volume.
    void WriteVolume(const std::string& name, const std::string& data, std::size_t size,
                     char nextVolume) {
        std::string bytes = volume::EncodeInt32(static_cast<std::int32_t>(size)) + name +
                            std::string(1, '\0') +
                            volume::EncodeInt32(static_cast<std::int32_t>(size)) + data +
                            std::string(1, nextVolume);
        std::ofstream(volumes_ / "Setup.d01", std::ios::binary) << bytes;
    }

    void StartAndConfirm() {
        CreateForms();
        ShowMainForm();
        MainForm->NextButtonClick();
        MainForm->AgreeRadio->click();
        MainForm->NextButtonClick();
        MainForm->NextButtonClick();
        MainForm->NextButtonClick();
        ASSERT_EQ(SetupPars.Page, TWizardPage::Confirmation);
    }

    std::string Log() { return prefix_.ReadFile(SetupPars.InstallFolder + "\\Install.log"); }

    fs::path volumes_;
    std::unique_ptr<TempPrefix::CurrentDirectory> cwd_;
};

TEST_F(RunTest, CompletedCopyShowsTheFinishedPage) {
    WriteVolume("Lingora.exe", "hello", 5, '\0');
    StartAndConfirm();
    QTest::mouseClick(MainForm->NextButton, Qt::LeftButton);

    EXPECT_EQ(SetupPars.Page, TWizardPage::Finished);
    EXPECT_TRUE(SetupPars.NoExitConfirmation);
    EXPECT_TRUE(MainForm->RestartCheckbox->isChecked());
    EXPECT_TRUE(MainForm->FinishButton->isVisible());
    EXPECT_FALSE(MainForm->NextButton->isVisible());
    EXPECT_FALSE(MainForm->CancelButton->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([] { return MainForm->FinishButton->hasFocus(); }));
    EXPECT_EQ(ExtractPars.LogFile, nullptr);

    EXPECT_EQ(prefix_.ReadFile("C:\\Program Files\\Lingora\\Lingora.exe"), "hello");
    const std::string log = Log();
    EXPECT_EQ(
        log.rfind("*** Don't change or delete this file ***\r\n\r\n{program folder}\r\nLingora\r\n"
                  "\r\n{program files}\r\nLingohlp.GID\r\nLingora.exe\r\n\r\n"
                  "{program folder files}\r\n",
                  0),
        0u)
        << log;
    EXPECT_TRUE(log.ends_with(".lnk\r\n\r\n")) << log;  // shortcuts logged, then the final line

    TRegistry registry;
    registry.SetRootKey(RootKey::LocalMachine);
    ASSERT_TRUE(registry.OpenKey(UninstallKey, false));
    EXPECT_EQ(registry.ReadString("UninstallString"), "C:\\Program Files\\Lingora\\Uninst.exe");

    // Finish without the restart closes without the question.
    MainForm->RestartCheckbox->setChecked(false);
    QTest::mouseClick(MainForm->FinishButton, Qt::LeftButton);
    EXPECT_FALSE(MainForm->isVisible());
}

TEST_F(RunTest, EarlierInstallationIsRemovedBeforeCopying) {
    WriteMachineString(UninstallKey, "UninstallString", "C:\\Apps\\Lingora\\Uninst.exe");
    prefix_.WriteFile(
        "C:\\Apps\\Lingora\\Install.log",
        "*** Don't change or delete this file ***\r\n\r\n{program folder}\r\nOld\r\n\r\n"
        "{program files}\r\nOldFile.txt\r\n\r\n{program folder files}\r\n\r\n");
    prefix_.WriteFile("C:\\Apps\\Lingora\\OldFile.txt", "old");
    WriteVolume("Lingora.exe", "new", 3, '\0');
    StartAndConfirm();
    EXPECT_EQ(SetupPars.InstallFolder, "C:\\Apps\\Lingora");
    EXPECT_EQ(SetupPars.ProgramFolder, "Old");
    QTest::mouseClick(MainForm->NextButton, Qt::LeftButton);

    EXPECT_EQ(SetupPars.Page, TWizardPage::Finished);
    EXPECT_FALSE(fs::exists(prefix_.HostPath("C:\\Apps\\Lingora") / "OldFile.txt"));
    EXPECT_EQ(prefix_.ReadFile("C:\\Apps\\Lingora\\Lingora.exe"), "new");
}

TEST_F(RunTest, WithoutDiskOneNothingIsRemovedUntilItIsThereAndExitChangesNothing) {
    WriteMachineString(UninstallKey, "UninstallString", "C:\\Apps\\Lingora\\Uninst.exe");
    prefix_.WriteFile(
        "C:\\Apps\\Lingora\\Install.log",
        "*** Don't change or delete this file ***\r\n\r\n{program folder}\r\nOld\r\n\r\n"
        "{program files}\r\nOldFile.txt\r\n\r\n{program folder files}\r\n\r\n");
    prefix_.WriteFile("C:\\Apps\\Lingora\\OldFile.txt", "old");
    WriteVolume("Lingora.exe", "new", 3, '\0');
    fs::rename(volumes_ / "Setup.d01", volumes_.parent_path() / "aside");
    const fs::path old = prefix_.HostPath("C:\\Apps\\Lingora") / "OldFile.txt";
    StartAndConfirm();

    // Asked for with the disk prompt before anything is removed; OK without it
    // asks again; OK once it is there goes on.
    std::vector<std::string> texts;
    std::unique_ptr<ModalAnswer> second;
    ModalAnswer first("Change disk", [&](QWidget* box) {
        texts.push_back(qobject_cast<QMessageBox*>(box)->text().toStdString());
        EXPECT_TRUE(fs::exists(old));
        second = std::make_unique<ModalAnswer>("Change disk", [&](QWidget* again) {
            texts.push_back(qobject_cast<QMessageBox*>(again)->text().toStdString());
            EXPECT_TRUE(fs::exists(old));
            fs::rename(volumes_.parent_path() / "aside", volumes_ / "Setup.d01");
            ClickButton(again, "OK");
        });
        ClickButton(box, "OK");
    });
    QTest::mouseClick(MainForm->NextButton, Qt::LeftButton);
    EXPECT_EQ(texts, std::vector<std::string>(2, "Insert disk 1 in the disk drive and click OK."));
    EXPECT_EQ(SetupPars.Page, TWizardPage::Finished);
    EXPECT_FALSE(fs::exists(old));
    EXPECT_EQ(prefix_.ReadFile("C:\\Apps\\Lingora\\Lingora.exe"), "new");
}

TEST_F(RunTest, ExitAtTheFirstDisksPromptLeavesTheEarlierInstallation) {
    WriteMachineString(UninstallKey, "UninstallString", "C:\\Apps\\Lingora\\Uninst.exe");
    prefix_.WriteFile(
        "C:\\Apps\\Lingora\\Install.log",
        "*** Don't change or delete this file ***\r\n\r\n{program folder}\r\nOld\r\n\r\n"
        "{program files}\r\nOldFile.txt\r\n\r\n{program folder files}\r\n\r\n");
    prefix_.WriteFile("C:\\Apps\\Lingora\\OldFile.txt", "old");
    StartAndConfirm();
    std::unique_ptr<ModalAnswer> exit;
    ModalAnswer cancelDisk("Change disk", [&exit](QWidget* box) {
        exit = std::make_unique<ModalAnswer>("Exit setup",
                                             [](QWidget*) { ExitForm->ExitButton->click(); });
        qobject_cast<QMessageBox*>(box)->escapeButton()->click();
    });
    QTest::mouseClick(MainForm->NextButton, Qt::LeftButton);
    ASSERT_NE(exit, nullptr);
    EXPECT_TRUE(exit->Answered());
    EXPECT_FALSE(MainForm->isVisible());
    EXPECT_FALSE(SetupPars.FailedPartWay);
    EXPECT_EQ(prefix_.ReadFile("C:\\Apps\\Lingora\\OldFile.txt"), "old");
    EXPECT_EQ(prefix_.ReadFile("C:\\Apps\\Lingora\\Install.log").find("Lingohlp.GID"),
              std::string::npos);
}

TEST_F(RunTest, AbortedCopyClosesTheWizardWithoutAsking) {
    // The file goes on in a second volume that is not there.
    WriteVolume("Lingora.exe", "hel", 5, '\2');
    StartAndConfirm();
    // Cancel at the disk request, then Exit at the question that follows.
    std::unique_ptr<ModalAnswer> exit;
    ModalAnswer cancelDisk("Change disk", [&exit](QWidget* box) {
        exit = std::make_unique<ModalAnswer>("Exit setup",
                                             [](QWidget*) { ExitForm->ExitButton->click(); });
        qobject_cast<QMessageBox*>(box)->escapeButton()->click();  // Cancel
    });
    QTest::mouseClick(MainForm->NextButton, Qt::LeftButton);

    EXPECT_TRUE(cancelDisk.Answered());
    ASSERT_NE(exit, nullptr);
    EXPECT_TRUE(exit->Answered());
    EXPECT_TRUE(SetupPars.NoExitConfirmation);
    EXPECT_FALSE(MainForm->isVisible());
    EXPECT_EQ(ExtractPars.LogFile, nullptr);
    // The log is closed with what was copied, without the shortcuts' section.
    const std::string log = Log();
    EXPECT_TRUE(log.ends_with("Lingora.exe\r\n\r\n")) << log;
    EXPECT_EQ(log.find("{program folder files}"), std::string::npos);
    TRegistry registry;
    registry.SetRootKey(RootKey::LocalMachine);
    EXPECT_FALSE(registry.KeyExists(UninstallKey));
}

// A signal at the disk prompt during the copying: the prompt is closed as the
// session's end closes it (Exit at every question), and the run counts as
// failed part-way (files copied, nothing that completes them), for exit code 1.
TEST_F(RunTest, TheSessionEndingAtTheDiskPromptAbandonsTheCopyingAsFailedPartWay) {
    WriteVolume("Lingora.exe", "hel", 5, '\2');
    StartAndConfirm();
    ModalAnswer ended("Change disk", [](QWidget* box) {
        ExitForTheSession = true;
        qobject_cast<QDialog*>(box)->reject();
    });
    QTest::mouseClick(MainForm->NextButton, Qt::LeftButton);
    const bool exitForTheSession = ExitForTheSession;
    ExitForTheSession = false;
    EXPECT_TRUE(ended.Answered());
    EXPECT_TRUE(exitForTheSession);
    EXPECT_FALSE(MainForm->isVisible());
    EXPECT_TRUE(SetupPars.FailedPartWay);
    EXPECT_TRUE(Log().ends_with("Lingora.exe\r\n\r\n")) << Log();
}

TEST_F(RunTest, FailingStepIsShownAndKeepsTheConfirmationPage) {
    WriteVolume("Lingora.exe", "hello", 5, '\0');
    StartAndConfirm();
    ReadOnlyRegistry readOnly(prefix_.Machine().Registry());
    Platform platform = CurrentPlatform();
    platform.registry = &readOnly;
    ScopedPlatform installed(platform);

    // The error leaves the handler (the application object shows it).
    try {
        MainForm->NextButtonClick();
        ADD_FAILURE() << "the registry write did not fail";
    } catch (const ERegistryException& error) {
        EXPECT_EQ(std::string(error.what()).rfind("Failed to set data for", 0), 0u) << error.what();
    }
    EXPECT_EQ(SetupPars.Page, TWizardPage::Confirmation);
    EXPECT_FALSE(SetupPars.NoExitConfirmation);
    EXPECT_TRUE(MainForm->isVisible());
    EXPECT_EQ(ExtractPars.LogFile, nullptr);
    // The log was closed before the registry was written: it is complete.
    EXPECT_TRUE(Log().ends_with(".lnk\r\n\r\n"));
}

TEST_F(RunTest, FullDiskAtTheRegistrySaveIsNamedAndMarksTheRunFailed) {
    WriteVolume("Lingora.exe", "hello", 5, '\0');
    StartAndConfirm();
    const std::string system = TempFolder::ReadFile(prefix_.Folder() / "system.reg");
    {
        ReadOnlyRegistry full(prefix_.Machine().Registry(), win::ERROR_DISK_FULL);
        Platform platform = CurrentPlatform();
        platform.registry = &full;
        ScopedPlatform installed(platform);
        try {
            MainForm->NextButtonClick();
            ADD_FAILURE() << "the registry write did not fail";
        } catch (const ERegistryException& error) {
            EXPECT_EQ(
                std::string(error.what()),
                "Failed to set data for 'DisplayName'\nThere is not enough space on the disk.");
        }
    }
    // The files are in place without their entries: the exit code says so.
    EXPECT_TRUE(SetupPars.FailedPartWay);
    EXPECT_EQ(SetupPars.Page, TWizardPage::Confirmation);
    EXPECT_TRUE(TempFolder::ReadFile(prefix_.Folder() / "system.reg") == system);
    EXPECT_TRUE(Log().ends_with(".lnk\r\n\r\n"));

    // Once there is room, a second try completes the installation.
    MainForm->NextButtonClick();
    EXPECT_EQ(SetupPars.Page, TWizardPage::Finished);
    EXPECT_FALSE(SetupPars.FailedPartWay);
    TRegistry registry;
    registry.SetRootKey(RootKey::LocalMachine);
    EXPECT_TRUE(registry.KeyExists(UninstallKey));
}

TEST_F(RunTest, RegistryThatCannotBeChangedStopsBeforeAnythingIsCopied) {
    WriteVolume("Lingora.exe", "hello", 5, '\0');
    StartAndConfirm();
    std::ofstream(prefix_.Folder() / "system.reg", std::ios::binary) << "not a registry file\n";

    try {
        MainForm->NextButtonClick();
        ADD_FAILURE() << "the damaged registry file was not noticed";
    } catch (const Exception& error) {
        EXPECT_NE(std::string(error.what()).find("system.reg"), std::string::npos) << error.what();
    }
    EXPECT_EQ(SetupPars.Page, TWizardPage::Confirmation);
    EXPECT_FALSE(fs::exists(prefix_.Folder() / "drive_c" / "Program Files" / "Lingora"));
    EXPECT_EQ(ExtractPars.LogFile, nullptr);
    EXPECT_FALSE(SetupPars.FailedPartWay);  // nothing was changed
}

// The confirmation page asks for the prefix's lock: while another Setup holds
// it, the run shows the same text and nothing is made; afterwards it runs and
// gives the lock back.
TEST_F(RunTest, ASecondSetupOnThePrefixStopsBeforeAnythingIsCopied) {
    WriteVolume("Lingora.exe", "hello", 5, '\0');
    struct RunLock : IRunLock {
        explicit RunLock(const fs::path& folder) : lock(folder) {}
        std::string Take() override { return lock.Take(); }
        void Release() override { lock.Release(); }
        PrefixLock lock;
    } mine(prefix_.Folder());
    PrefixLock other(prefix_.Folder());
    ASSERT_EQ(other.Take(), "");
    InstallRunLock(&mine);
    struct Uninstall {
        ~Uninstall() { InstallRunLock(nullptr); }
    } uninstall;
    StartAndConfirm();
    try {
        MainForm->NextButtonClick();
        ADD_FAILURE() << "the second Setup was not refused";
    } catch (const Exception& error) {
        EXPECT_EQ(std::string(error.what()), PrefixLock::BusyText(::getpid()));
    }
    EXPECT_EQ(SetupPars.Page, TWizardPage::Confirmation);
    EXPECT_FALSE(fs::exists(prefix_.Folder() / "drive_c" / "Program Files" / "Lingora"));

    other.Release();
    MainForm->NextButtonClick();
    EXPECT_EQ(SetupPars.Page, TWizardPage::Finished);
    EXPECT_FALSE(mine.lock.Held());
}

TEST_F(RunTest, LogThatCannotBeCreatedLeavesNothingOpen) {
    WriteVolume("Lingora.exe", "hello", 5, '\0');
    StartAndConfirm();
    DenyingFileSystem files(prefix_.Machine().Files(), "C:\\Program Files\\Lingora");
    Platform platform = CurrentPlatform();
    platform.files = &files;
    ScopedPlatform installed(platform);

    EXPECT_THROW(MainForm->NextButtonClick(), EInOutError);
    EXPECT_EQ(SetupPars.Page, TWizardPage::Confirmation);
    EXPECT_FALSE(ExtractForm->isVisible());
    EXPECT_EQ(ExtractPars.LogFile, nullptr);
}

}  // namespace
