// Walking the wizard's pages: what each Next and Back shows, enables and
// focuses, the exit question, the folder probes and the finish.
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QWindow>
#include <filesystem>

#include "dialogs/Unit_ExitForm.h"
#include "dialogs/Unit_FullScreenForm.h"
#include "tests/wizard/WizardTestSupport.h"
#include "wizard/Main.h"

namespace {

namespace fs = std::filesystem;

class PagesTest : public WizardFixture {
  protected:
    void SetUp() override {
        WizardFixture::SetUp();
        CreateForms();
        ShowMainForm();
    }

    TMainForm& Form() { return *MainForm; }

    // The controls of the table that are visible now, by name.
    std::vector<std::string> VisiblePageControls() {
        std::vector<std::string> names;
        for (QWidget* w :
             {static_cast<QWidget*>(Form().WelcomeLabel),
              static_cast<QWidget*>(Form().BeforeLicenceLabel),
              static_cast<QWidget*>(Form().LicenceMemo),
              static_cast<QWidget*>(Form().AfterLicenceLabel),
              static_cast<QWidget*>(Form().AgreeRadio), static_cast<QWidget*>(Form().DisagreeRadio),
              static_cast<QWidget*>(Form().SelectInstallDirLabel),
              static_cast<QWidget*>(Form().InstallDirBox),
              static_cast<QWidget*>(Form().ProgFolderLabel),
              static_cast<QWidget*>(Form().ProgFolderEdit),
              static_cast<QWidget*>(Form().ProgFoldersTree),
              static_cast<QWidget*>(Form().ConfirmSettingsLabel),
              static_cast<QWidget*>(Form().ConfirmMemo),
              static_cast<QWidget*>(Form().FinishedLabel),
              static_cast<QWidget*>(Form().RestartCheckbox),
              static_cast<QWidget*>(Form().FinishButton), static_cast<QWidget*>(Form().BackButton),
              static_cast<QWidget*>(Form().NextButton), static_cast<QWidget*>(Form().CancelButton)})
            if (w->isVisible()) names.push_back(w->objectName().toStdString());
        return names;
    }

    using Names = std::vector<std::string>;

    void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    // Welcome -> licence -> (agree) -> installation folder.
    void GoToInstallFolderPage() {
        Click(Form().NextButton);
        QTest::mouseClick(Form().AgreeRadio, Qt::LeftButton);
        Click(Form().NextButton);
        ASSERT_EQ(SetupPars.Page, TWizardPage::InstallFolder);
    }
    void GoToConfirmationPage() {
        GoToInstallFolderPage();
        Click(Form().NextButton);
        ASSERT_EQ(SetupPars.Page, TWizardPage::ProgramFolder);
        Click(Form().NextButton);
        ASSERT_EQ(SetupPars.Page, TWizardPage::Confirmation);
    }

    fs::path Host(const std::string& windowsPath) { return prefix_.HostPath(windowsPath); }
};

TEST_F(PagesTest, EveryTextFitsItsControl) {
    for (QLabel* label : Form().findChildren<QLabel*>()) {
        if (label->text().isEmpty()) continue;  // the picture
        const QRect needed = label->fontMetrics().boundingRect(QRect(0, 0, label->width(), 100000),
                                                               Qt::TextWordWrap, label->text());
        EXPECT_LE(needed.height(), label->height()) << label->objectName().toStdString();
        EXPECT_LE(label->geometry().right(), Form().width());
    }
    for (QAbstractButton* button : Form().findChildren<QAbstractButton*>()) {
        // Push buttons: the caption with a margin at each side (the style's own
        // size hint has a minimum width of its own); radios and the check box: all of it.
        const int needed =
            qobject_cast<QPushButton*>(button) != nullptr
                ? button->fontMetrics().horizontalAdvance(QString(button->text()).remove('&')) + 12
                : button->sizeHint().width();
        EXPECT_LE(needed, button->width()) << button->objectName().toStdString();
    }
    EXPECT_LE(Form().InstallDirBox->fontMetrics().horizontalAdvance(Form().InstallDirBox->title()),
              Form().InstallDirBox->width());
    // The picture is shown as drawn, not stretched.
    EXPECT_EQ(Form().WizardImage->pixmap().size(), Form().WizardImage->size());
}

TEST_F(PagesTest, NextWalksForwardShowingEachPagesControls) {
    EXPECT_EQ(VisiblePageControls(),
              (Names{"WelcomeLabel", "BackButton", "NextButton", "CancelButton"}));
    EXPECT_FALSE(Form().BackButton->isEnabled());
    EXPECT_TRUE(Form().NextButton->hasFocus());

    Click(Form().NextButton);
    EXPECT_EQ(SetupPars.Page, TWizardPage::Licence);
    EXPECT_EQ(VisiblePageControls(),
              (Names{"BeforeLicenceLabel", "LicenceMemo", "AfterLicenceLabel", "AgreeRadio",
                     "DisagreeRadio", "BackButton", "NextButton", "CancelButton"}));
    EXPECT_TRUE(Form().BackButton->isEnabled());
    EXPECT_FALSE(Form().NextButton->isEnabled());
    EXPECT_FALSE(Form().AgreeRadio->isChecked());
    EXPECT_FALSE(Form().DisagreeRadio->isChecked());
    EXPECT_TRUE(Form().LicenceMemo->hasFocus());
    EXPECT_TRUE(Form().LicenceMemo->toPlainText().startsWith("LINGORA"));

    QTest::mouseClick(Form().AgreeRadio, Qt::LeftButton);
    EXPECT_TRUE(Form().NextButton->isEnabled());
    Click(Form().NextButton);
    EXPECT_EQ(SetupPars.Page, TWizardPage::InstallFolder);
    EXPECT_EQ(VisiblePageControls(), (Names{"SelectInstallDirLabel", "InstallDirBox", "BackButton",
                                            "NextButton", "CancelButton"}));
    EXPECT_TRUE(Form().InstallDirEdit->isVisible());
    EXPECT_TRUE(Form().BrowseButton->isVisible());
    EXPECT_EQ(Form().InstallDirEdit->text(), "C:\\Program Files\\Lingora");
    EXPECT_TRUE(Form().NextButton->hasFocus());

    Click(Form().NextButton);
    EXPECT_EQ(SetupPars.Page, TWizardPage::ProgramFolder);
    EXPECT_EQ(VisiblePageControls(), (Names{"ProgFolderLabel", "ProgFolderEdit", "ProgFoldersTree",
                                            "BackButton", "NextButton", "CancelButton"}));
    EXPECT_EQ(Form().ProgFolderEdit->text(), "Lingora");
    EXPECT_TRUE(Form().NextButton->hasFocus());

    Click(Form().NextButton);
    EXPECT_EQ(SetupPars.Page, TWizardPage::Confirmation);
    EXPECT_EQ(VisiblePageControls(), (Names{"ConfirmSettingsLabel", "ConfirmMemo", "BackButton",
                                            "NextButton", "CancelButton"}));
    EXPECT_EQ(Form().ConfirmMemo->toPlainText(),
              "The program will be installed in the folder:\n"
              "   C:\\Program Files\\Lingora\n\n\n"
              "The program will be placed in the Start menu at:\n"
              "   Programs | Lingora");
    EXPECT_TRUE(Form().NextButton->hasFocus());
    // The probes left nothing behind: the real folders come with the copying.
    EXPECT_FALSE(fs::exists(Host("C:\\Program Files") / "Lingora"));
    EXPECT_FALSE(fs::exists(Host(prefix_.ProgramsFolder()) / "Lingora"));
}

TEST_F(PagesTest, BackWalksBackwardRestoringEachPage) {
    GoToConfirmationPage();

    Click(Form().BackButton);
    EXPECT_EQ(SetupPars.Page, TWizardPage::ProgramFolder);
    EXPECT_EQ(Form().ProgFolderEdit->text(), "Lingora");
    EXPECT_EQ(Form().ProgFoldersTree->topLevelItemCount(), 1);
    EXPECT_TRUE(Form().NextButton->hasFocus());

    Form().ProgFolderEdit->setText("Typed");
    Click(Form().BackButton);
    EXPECT_EQ(SetupPars.Page, TWizardPage::InstallFolder);
    EXPECT_EQ(VisiblePageControls(), (Names{"SelectInstallDirLabel", "InstallDirBox", "BackButton",
                                            "NextButton", "CancelButton"}));
    EXPECT_TRUE(Form().NextButton->hasFocus());

    Form().InstallDirEdit->setText("C:\\Elsewhere");
    Click(Form().BackButton);
    EXPECT_EQ(SetupPars.Page, TWizardPage::Licence);
    EXPECT_FALSE(Form().NextButton->isEnabled());
    EXPECT_FALSE(Form().AgreeRadio->isChecked());
    EXPECT_TRUE(Form().LicenceMemo->hasFocus());

    // Coming forward again shows what was accepted, not what was typed.
    QTest::mouseClick(Form().AgreeRadio, Qt::LeftButton);
    Click(Form().NextButton);
    EXPECT_EQ(Form().InstallDirEdit->text(), "C:\\Program Files\\Lingora");
    Click(Form().BackButton);

    Click(Form().BackButton);
    EXPECT_EQ(SetupPars.Page, TWizardPage::Welcome);
    EXPECT_EQ(VisiblePageControls(),
              (Names{"WelcomeLabel", "BackButton", "NextButton", "CancelButton"}));
    EXPECT_FALSE(Form().BackButton->isEnabled());
    EXPECT_TRUE(Form().NextButton->isEnabled());
    EXPECT_TRUE(Form().NextButton->hasFocus());
}

TEST_F(PagesTest, DisagreeAndNextAsksTheExitQuestion) {
    Click(Form().NextButton);
    QTest::mouseClick(Form().DisagreeRadio, Qt::LeftButton);
    EXPECT_TRUE(Form().NextButton->isEnabled());

    ModalAnswer resume([](QWidget* w) {
        QTest::mouseClick(ExitForm->ResumeButton, Qt::LeftButton);
        (void)w;
    });
    Click(Form().NextButton);
    EXPECT_TRUE(resume.Answered());
    EXPECT_EQ(resume.Title(), "Exit setup");
    EXPECT_TRUE(Form().isVisible());
    EXPECT_EQ(SetupPars.Page, TWizardPage::Licence);

    ModalAnswer exit([](QWidget*) { QTest::mouseClick(ExitForm->ExitButton, Qt::LeftButton); });
    Click(Form().NextButton);
    EXPECT_TRUE(exit.Answered());
    EXPECT_FALSE(Form().isVisible());
}

TEST_F(PagesTest, CancelAsksAndEscEndsEnterKeeps) {
    ModalAnswer enter([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
    Click(Form().CancelButton);
    EXPECT_TRUE(enter.Answered());
    EXPECT_TRUE(Form().isVisible());

    ModalAnswer esc([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    Click(Form().CancelButton);
    EXPECT_TRUE(esc.Answered());
    EXPECT_FALSE(Form().isVisible());
}

TEST_F(PagesTest, MnemonicsAndEnterDriveTheWizard) {
    const auto press = [&](Qt::Key key) {
        QTest::keyClick(&Form(), key, Qt::AltModifier);
        QTest::qWait(0);
    };
    press(Qt::Key_N);  // Next
    ASSERT_TRUE(QTest::qWaitFor([] { return SetupPars.Page == TWizardPage::Licence; }));
    press(Qt::Key_N);  // only the radio answers while Next is disabled
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form().DisagreeRadio->isChecked(); }));
    press(Qt::Key_Y);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form().AgreeRadio->isChecked(); }));
    press(Qt::Key_N);  // now Next
    ASSERT_TRUE(QTest::qWaitFor([] { return SetupPars.Page == TWizardPage::InstallFolder; }));
    press(Qt::Key_B);  // Back
    ASSERT_TRUE(QTest::qWaitFor([] { return SetupPars.Page == TWizardPage::Licence; }));

    // Enter presses the focused button.
    QTest::mouseClick(Form().AgreeRadio, Qt::LeftButton);
    Form().NextButton->setFocus();
    QTest::keyClick(Form().NextButton, Qt::Key_Return);
    EXPECT_EQ(SetupPars.Page, TWizardPage::InstallFolder);
    Form().BackButton->setFocus();
    QTest::keyClick(Form().BackButton, Qt::Key_Return);
    EXPECT_EQ(SetupPars.Page, TWizardPage::Licence);
}

TEST_F(PagesTest, EnterInTheFolderEditGoesOnAsNextDoes) {
    GoToInstallFolderPage();
    Form().InstallDirEdit->setFocus();
    QTest::keyClick(Form().InstallDirEdit, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([] { return SetupPars.Page == TWizardPage::ProgramFolder; }));
}

TEST_F(PagesTest, TabVisitsThePageThenTheButtons) {
    GoToInstallFolderPage();
    Form().InstallDirEdit->setFocus();
    std::vector<std::string> visited;
    for (int i = 0; i < 5; ++i) {
        visited.push_back(QApplication::focusWidget()->objectName().toStdString());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(visited, (Names{"InstallDirEdit", "BrowseButton", "BackButton", "NextButton",
                              "CancelButton"}));
    EXPECT_EQ(QApplication::focusWidget(), Form().InstallDirEdit);
}

TEST_F(PagesTest, NewNestedFolderIsProbedAndRemovedAgain) {
    GoToInstallFolderPage();
    Form().InstallDirEdit->setText("C:\\Word lists\\Lingora\\2.0\\");
    Click(Form().NextButton);
    EXPECT_EQ(SetupPars.Page, TWizardPage::ProgramFolder);
    EXPECT_EQ(SetupPars.InstallFolder, "C:\\Word lists\\Lingora\\2.0");
    EXPECT_FALSE(fs::exists(Host("C:\\") / "Word lists"));

    // A new Start-menu folder of two levels, likewise.
    Form().ProgFolderEdit->setText("Education\\Lingora");
    Click(Form().NextButton);
    EXPECT_EQ(SetupPars.Page, TWizardPage::Confirmation);
    EXPECT_EQ(SetupPars.ProgramFolder, "Education\\Lingora");
    EXPECT_FALSE(fs::exists(Host(prefix_.ProgramsFolder()) / "Education"));
    EXPECT_TRUE(Form().ConfirmMemo->toPlainText().endsWith("   Programs | Education | Lingora"));
}

TEST_F(PagesTest, ExistingFolderIsKeptAsItIs) {
    prefix_.WriteFile("C:\\Tools\\Lingora\\keep.txt", "x");
    GoToInstallFolderPage();
    Form().InstallDirEdit->setText("C:\\Tools\\Lingora");
    Click(Form().NextButton);
    EXPECT_EQ(SetupPars.Page, TWizardPage::ProgramFolder);
    EXPECT_TRUE(fs::exists(Host("C:\\Tools\\Lingora\\keep.txt")));
}

TEST_F(PagesTest, FolderThatCannotBeCreatedKeepsThePage) {
    prefix_.WriteFile("C:\\Locked\\readme.txt", "x");
    DenyingFileSystem files(prefix_.Machine().Files(), "C:\\Locked");
    Platform platform = CurrentPlatform();
    platform.files = &files;
    ScopedPlatform denied(platform);

    GoToInstallFolderPage();
    Form().InstallDirEdit->setText("C:\\Locked\\Sub\\Lingora");
    ModalAnswer error(AcceptMessageBox);
    Click(Form().NextButton);
    EXPECT_TRUE(error.Answered());
    EXPECT_EQ(error.Title(), "Setup");
    EXPECT_EQ(error.Text(),
              "The folder you have filled in, could not be created.  Choose another folder.");
    EXPECT_EQ(SetupPars.Page, TWizardPage::InstallFolder);
    EXPECT_EQ(SetupPars.InstallFolder, "C:\\Program Files\\Lingora");
    // The focus comes back to the edit once the wizard is active again.
    EXPECT_TRUE(QTest::qWaitFor([&] { return Form().InstallDirEdit->hasFocus(); }));
    EXPECT_FALSE(fs::exists(Host("C:\\Locked") / "Sub"));
}

// A relative folder, or one Windows cannot hold, is refused with the usual message.
TEST_F(PagesTest, RelativeAndUnholdableFoldersAreRefused) {
    GoToInstallFolderPage();
    for (const char* typed : {"Lingora", "Program Files\\Lingora", "C:\\Lingora.", "C:\\AUX"}) {
        Form().InstallDirEdit->setText(typed);
        ModalAnswer error(AcceptMessageBox);
        Click(Form().NextButton);
        EXPECT_TRUE(error.Answered()) << typed;
        EXPECT_EQ(error.Text(),
                  "The folder you have filled in, could not be created.  Choose another folder.");
        EXPECT_EQ(SetupPars.Page, TWizardPage::InstallFolder) << typed;
    }
}

// Folders that cannot hold what goes into them are refused on their page, with
// a message that names the limit, before anything is made.
TEST_F(PagesTest, FoldersTooSmallForTheirFilesAreRefusedOnTheirPage) {
    GoToInstallFolderPage();
    Form().InstallDirEdit->setText("C:\\");
    {
        ModalAnswer error(AcceptMessageBox);
        Click(Form().NextButton);
        EXPECT_TRUE(error.Answered());
        EXPECT_NE(error.Text().find("the root of a drive"), std::string::npos) << error.Text();
    }
    EXPECT_EQ(SetupPars.Page, TWizardPage::InstallFolder);
    Form().InstallDirEdit->setText("C:\\Program Files\\Lingora");
    Click(Form().NextButton);
    ASSERT_EQ(SetupPars.Page, TWizardPage::ProgramFolder);
    const std::string name(178, 'g');
    Form().ProgFolderEdit->setText(QString::fromStdString(name));
    {
        // SETUP_SCREENSHOTS names a folder for a picture of the message.
        ModalAnswer error([](QWidget* box) {
            const QString shots = qEnvironmentVariable("SETUP_SCREENSHOTS");
            if (!shots.isEmpty()) box->grab().save(shots + "/04-start-menu-folder-too-long.png");
            AcceptMessageBox(box);
        });
        Click(Form().NextButton);
        EXPECT_TRUE(error.Answered());
        EXPECT_NE(error.Text().find("longest shortcut's name (21 characters)"), std::string::npos)
            << error.Text();
    }
    EXPECT_EQ(SetupPars.Page, TWizardPage::ProgramFolder);
    EXPECT_FALSE(fs::exists(Host(prefix_.ProgramsFolder()) / name));
}

TEST_F(PagesTest, StartMenuFolderOutsideTheProgramsFolderIsRefused) {
    GoToInstallFolderPage();
    Click(Form().NextButton);
    for (const char* name : {"..\\..\\Desktop", "C:\\Windows", "\\Lingora"}) {
        Form().ProgFolderEdit->setText(name);
        ModalAnswer error(AcceptMessageBox);
        Click(Form().NextButton);
        EXPECT_TRUE(error.Answered()) << name;
        EXPECT_EQ(SetupPars.Page, TWizardPage::ProgramFolder) << name;
        EXPECT_EQ(SetupPars.ProgramFolder, "Lingora");
        EXPECT_TRUE(QTest::qWaitFor([&] { return Form().ProgFolderEdit->hasFocus(); }));
    }
    // The Programs folder itself (an empty name) is a place for the shortcuts.
    Form().ProgFolderEdit->setText("");
    Click(Form().NextButton);
    EXPECT_EQ(SetupPars.Page, TWizardPage::Confirmation);
    EXPECT_EQ(SetupPars.ProgramFolder, "");
}

TEST_F(PagesTest, TreeListsTheProgramGroupsAndFillsTheEdit) {
    const std::string programs = prefix_.ProgramsFolder();
    prefix_.WriteFile(programs + "\\zeta\\z.lnk", "");
    prefix_.WriteFile(programs + "\\Accessories\\System Tools\\x.lnk", "");
    prefix_.WriteFile(programs + "\\Accessories\\Games\\y.lnk", "");
    prefix_.WriteFile(programs + "\\Alpha.lnk", "");  // a file: not a group
    GoToInstallFolderPage();
    Click(Form().NextButton);

    QTreeWidget* tree = Form().ProgFoldersTree;
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_EQ(root->text(0), "Programs");
    EXPECT_TRUE(root->isExpanded());
    ASSERT_EQ(root->childCount(), 2);
    EXPECT_EQ(root->child(0)->text(0), "Accessories");
    EXPECT_EQ(root->child(1)->text(0), "zeta");
    EXPECT_FALSE(root->child(0)->isExpanded());
    QTreeWidgetItem* accessories = root->child(0);
    ASSERT_EQ(accessories->childCount(), 2);
    EXPECT_EQ(accessories->child(0)->text(0), "Games");
    EXPECT_EQ(accessories->child(1)->text(0), "System Tools");
    // A folder shows closed, and open while it is selected.
    const QImage closed = QPixmap(":/FolderClosed.png").toImage();
    const QImage open = QPixmap(":/FolderOpen.png").toImage();
    ASSERT_NE(closed, open);
    EXPECT_EQ(root->icon(0).pixmap(closed.size(), QIcon::Normal).toImage(), closed);
    EXPECT_EQ(root->icon(0).pixmap(open.size(), QIcon::Selected).toImage(), open);

    // A node that the user selects names the folder below the Programs folder.
    accessories->setExpanded(true);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(accessories->child(1)).center());
    EXPECT_EQ(Form().ProgFolderEdit->text(), "Accessories\\System Tools");
    tree->setCurrentItem(root);
    EXPECT_EQ(Form().ProgFolderEdit->text(), "");
    tree->setCurrentItem(root->child(1));
    EXPECT_EQ(Form().ProgFolderEdit->text(), "zeta");

    // Merely giving the tree the focus changes nothing.
    tree->clearSelection();
    Form().ProgFolderEdit->setText("Mine");
    tree->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(Form().ProgFolderEdit->text(), "Mine");
}

TEST_F(PagesTest, BrowseTakesTheChosenFolderAndCancelKeepsTheEdit) {
    prefix_.WriteFile("C:\\Chosen\\Place\\x.txt", "");
    GoToInstallFolderPage();
    const QString chosen = QString::fromStdString(Host("C:\\Chosen\\Place").string());

    ModalAnswer cancel([](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), "Select a folder");
        // Opens at the host folder of the edit's path (or its nearest existing parent).
        if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
            EXPECT_TRUE(dialog->directory().absolutePath().endsWith("Program Files"))
                << dialog->directory().absolutePath().toStdString();
        }
        qobject_cast<QDialog*>(w)->reject();
    });
    Click(Form().BrowseButton);
    EXPECT_TRUE(cancel.Answered());
    EXPECT_EQ(Form().InstallDirEdit->text(), "C:\\Program Files\\Lingora");

    ModalAnswer choose([chosen](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        dialog->setDirectory(chosen);
        dialog->selectFile(chosen);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    Click(Form().BrowseButton);
    EXPECT_TRUE(choose.Answered());
    EXPECT_EQ(Form().InstallDirEdit->text(), "C:\\Chosen\\Place");
}

TEST_F(PagesTest, BackdropCoversTheScreenBehindTheWizard) {
    windows_.SetScreenSize({800, 600});
    // The backdrop was stretched when the window was first shown; show it again
    // with the recorded size.
    FullScreenForm->ShowBehind(MainForm);
    EXPECT_TRUE(FullScreenForm->isVisible());
    EXPECT_EQ(FullScreenForm->geometry(), QRect(0, 0, 800, 600));
    EXPECT_FALSE(FullScreenForm->isEnabled());
    EXPECT_EQ(FullScreenForm->windowTitle(), "Lingora Setup");
    EXPECT_EQ(FullScreenForm->palette().color(QPalette::Window), QColor(0, 128, 128));
    EXPECT_TRUE(QTest::qWaitForWindowActive(MainForm));
    // The wizard is the backdrop's child window, which a Wayland compositor
    // keeps above it; the exit question is the wizard's.
    ASSERT_NE(MainForm->windowHandle(), nullptr);
    EXPECT_EQ(MainForm->windowHandle()->transientParent(), FullScreenForm->windowHandle());
    QWindow* questionParent = nullptr;
    ModalAnswer resume([&questionParent](QWidget* w) {
        questionParent = w->windowHandle()->transientParent();
        QTest::mouseClick(ExitForm->ResumeButton, Qt::LeftButton);
    });
    Click(Form().CancelButton);
    EXPECT_TRUE(resume.Answered());
    EXPECT_EQ(questionParent, MainForm->windowHandle());
    // Clicking the backdrop leaves the wizard usable in front.
    QTest::mouseClick(FullScreenForm, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(QTest::qWaitForWindowActive(MainForm));
    Click(Form().NextButton);
    EXPECT_EQ(SetupPars.Page, TWizardPage::Licence);
}

class FinishTest : public PagesTest {
  protected:
    void GoToFinishedPage() {
        // The finished page as the installation run leaves it.
        GoToConfirmationPage();
        SetupPars.NoExitConfirmation = true;
        for (QWidget* w :
             {static_cast<QWidget*>(Form().ConfirmSettingsLabel),
              static_cast<QWidget*>(Form().ConfirmMemo), static_cast<QWidget*>(Form().BackButton),
              static_cast<QWidget*>(Form().NextButton), static_cast<QWidget*>(Form().CancelButton)})
            w->hide();
        SetupPars.Page = TWizardPage::Finished;
        Form().FinishedLabel->show();
        Form().RestartCheckbox->show();
        Form().RestartCheckbox->setChecked(true);
        Form().FinishButton->show();
    }
};

TEST_F(FinishTest, FinishWithRestartHidesTheBackdropAndRestarts) {
    GoToFinishedPage();
    ASSERT_TRUE(FullScreenForm->isVisible());
    Click(Form().FinishButton);
    EXPECT_EQ(windows_.RestartRequests(), (std::vector<std::uint32_t>{2}));
    EXPECT_FALSE(FullScreenForm->isVisible());
    EXPECT_FALSE(Form().isVisible());  // the restart ends the session
}

TEST_F(FinishTest, RefusedRestartStaysOnTheFinishedPage) {
    RecordingWindowServices refusing(prefix_.Machine().WindowServices(), false);
    Platform platform = CurrentPlatform();
    platform.windows = &refusing;
    ScopedPlatform installed(platform);
    GoToFinishedPage();
    Click(Form().FinishButton);
    EXPECT_EQ(refusing.RestartRequests().size(), 1u);
    EXPECT_TRUE(Form().isVisible());
    EXPECT_EQ(SetupPars.Page, TWizardPage::Finished);
}

TEST_F(FinishTest, EnterOnTheRestartBoxPressesFinish) {
    GoToFinishedPage();
    QTest::keyClick(Form().RestartCheckbox, Qt::Key_Space);  // unchecks it, and takes the focus
    ASSERT_FALSE(Form().RestartCheckbox->isChecked());
    QTest::keyClick(Form().RestartCheckbox, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !Form().isVisible(); }));
    EXPECT_TRUE(windows_.RestartRequests().empty());
}

// A note for the finished installation (Wine is missing) is said once, over the
// wizard and on standard error, when Finish is first clicked.
TEST_F(FinishTest, TheFinishNoteIsSaidOnceOverTheWizard) {
    RecordingWindowServices refusing(prefix_.Machine().WindowServices(), false);
    Platform platform = CurrentPlatform();
    platform.windows = &refusing;
    ScopedPlatform installed(platform);
    GoToFinishedPage();
    Form().FinishNote = "Wine is not installed on this computer.";
    QWindow* boxParent = nullptr;
    ModalAnswer note([&boxParent](QWidget* w) {
        boxParent = w->windowHandle()->transientParent();
        AcceptMessageBox(w);
    });
    testing::internal::CaptureStderr();
    Click(Form().FinishButton);  // the restart is refused: the page stays
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(note.Answered());
    EXPECT_EQ(note.Text(), "Wine is not installed on this computer.");
    EXPECT_EQ(boxParent, MainForm->windowHandle());
    // (Qt's offscreen platform adds lines of its own.)
    const std::string line = "lingora-setup: warning: Wine is not installed on this computer.\n";
    EXPECT_NE(said.find(line), std::string::npos) << said;
    EXPECT_EQ(said.find(line), said.rfind(line)) << said;
    ASSERT_TRUE(Form().isVisible());
    // Said: Finish again brings no second note, and closes the wizard.
    EXPECT_TRUE(Form().FinishNote.empty());
    Form().RestartCheckbox->setChecked(false);
    Click(Form().FinishButton);
    EXPECT_FALSE(Form().isVisible());
}

TEST_F(FinishTest, FinishWithoutRestartClosesWithoutAsking) {
    GoToFinishedPage();
    Form().RestartCheckbox->setChecked(false);
    Click(Form().FinishButton);
    EXPECT_TRUE(windows_.RestartRequests().empty());
    EXPECT_FALSE(Form().isVisible());
}

}  // namespace
