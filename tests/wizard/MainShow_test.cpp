// The first showing of the wizard: the version-1.0 question or the backdrop.
#include <QPushButton>

#include "dialogs/Unit_FullScreenForm.h"
#include "dialogs/Unit_UninstallOldForm.h"
#include "tests/wizard/WizardTestSupport.h"
#include "wizard/Main.h"

namespace {

class ShowTest : public WizardFixture {
  protected:
    void RegisterVersionOne() {
        WriteMachineString("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lingora",
                           "UninstallString", "C:\\LINGORA\\UNINST.EXE C:\\LINGORA\\INSTALL.LOG");
        WriteMachineString("Software\\Tarnwick\\Lingora\\1.0", "Path", "C:\\LINGORA");
    }
};

TEST_F(ShowTest, WithoutVersionOneTheBackdropStandsBehindTheWizard) {
    windows_.SetScreenSize({1024, 768});
    CreateForms();
    ShowMainForm();
    EXPECT_TRUE(FullScreenForm->isVisible());
    EXPECT_EQ(FullScreenForm->geometry(), QRect(0, 0, 1024, 768));
    EXPECT_TRUE(MainForm->isActiveWindow());
    EXPECT_TRUE(MainForm->NextButton->hasFocus());
    EXPECT_TRUE(shell_.Calls().empty());
}

TEST_F(ShowTest, VersionOneRemovalStartsItsUninstallerAndCloses) {
    RegisterVersionOne();
    CreateForms();
    ModalAnswer yes([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
    MainForm->show();
    EXPECT_TRUE(yes.Answered());
    EXPECT_EQ(yes.Title(), "Lingora Setup");
    EXPECT_FALSE(MainForm->isVisible());
    EXPECT_TRUE(SetupPars.NoExitConfirmation);
    EXPECT_FALSE(FullScreenForm->isVisible());
    ASSERT_EQ(shell_.Calls().size(), 1u);
    EXPECT_EQ(shell_.Calls()[0].program, "C:\\LINGORA\\UNINST.EXE");
    EXPECT_EQ(shell_.Calls()[0].parameters, "C:\\LINGORA\\INSTALL.LOG");
    EXPECT_EQ(shell_.Calls()[0].folder, "C:\\LINGORA\\");
}

TEST_F(ShowTest, VersionOneKeptGoesOnWithoutTheBackdrop) {
    RegisterVersionOne();
    CreateForms();
    ModalAnswer no([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    MainForm->show();
    EXPECT_TRUE(no.Answered());
    EXPECT_TRUE(MainForm->isVisible());
    EXPECT_FALSE(SetupPars.NoExitConfirmation);
    EXPECT_FALSE(FullScreenForm->isVisible());
    EXPECT_EQ(SetupPars.Page, TWizardPage::Welcome);
    EXPECT_TRUE(QTest::qWaitFor([] { return MainForm->NextButton->hasFocus(); }));
    EXPECT_TRUE(shell_.Calls().empty());
}

}  // namespace
