#include "dialogs/Unit_UninstallOldForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <vector>

#include "dialogs/Unit_Constants.h"
#include "platform/Platform.h"
#include "tests/support/Doubles.h"
#include "tests/support/LayoutCheck.h"

namespace {

// Answers the next modal dialog, once it is up, with the given action.
void WhenModal(std::function<void(QWidget*)> answer) {
    QTimer::singleShot(0, [answer]() {
        QWidget* dialog = nullptr;
        (void)QTest::qWaitFor([&]() {
            dialog = QApplication::activeModalWidget();
            return dialog != nullptr && dialog->isVisible();
        });
        ASSERT_NE(dialog, nullptr);
        answer(dialog);
    });
}

class UninstallOldFormTest : public testing::Test {
  protected:
    void SetUp() override {
        BuildTexts();
        form_ = new TUninstallOldForm();
        UninstallOldForm = form_;
    }
    void TearDown() override {
        UninstallOldForm = nullptr;
        delete form_;
        ReleaseTexts();
    }

    RecordingShell shell_;
    ScopedPlatform platform_{Platform{nullptr, nullptr, &shell_, nullptr}};
    TUninstallOldForm* form_ = nullptr;
};

constexpr char Command[] = "C:\\LINGORA\\UNINST.EXE C:\\LINGORA\\INSTALL.LOG";

TEST_F(UninstallOldFormTest, LayoutAndTexts) {
    EXPECT_EQ(form_->windowTitle(), "Lingora Setup");
    EXPECT_TRUE(form_->UninstallOldLabel->wordWrap());
    EXPECT_EQ(form_->YesButton->text(), "Yes");
    EXPECT_EQ(form_->NoButton->text(), "No");
    EXPECT_TRUE(form_->YesButton->isDefault());
    EXPECT_EQ(form_->YesButton->nextInFocusChain(), form_->NoButton);
    // The CR pairs of the text are paragraph breaks on the screen.
    const QStringList lines = form_->UninstallOldLabel->text().split('\n');
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[2], "Do you want to uninstall version 1.0 now?");
    EXPECT_TRUE(lines[4].endsWith("Open Setup again to install version 2.0."));
    EXPECT_TRUE(lines[1].isEmpty() && lines[3].isEmpty());
    // The whole text fits the label (no line is cut off at its bottom), Yes
    // stands left of No below it, and nothing overlaps.
    ExpectLaidOut(*form_);
    EXPECT_LT(form_->UninstallOldLabel->geometry().bottom(), form_->YesButton->geometry().top());
    EXPECT_LT(form_->YesButton->geometry().right(), form_->NoButton->geometry().left());

    // SETUP_SCREENSHOTS names a folder that receives a picture of the form.
    if (const char* folder = std::getenv("SETUP_SCREENSHOTS")) {
        EXPECT_TRUE(form_->grab().save(QString(folder) + "/UninstallOldForm.png"));
    }
}

TEST_F(UninstallOldFormTest, EnterStartsTheOldUninstallerWithTheSplitCommand) {
    WhenModal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Return); });
    EXPECT_TRUE(OfferOldVersionRemoval(Command));
    EXPECT_EQ(form_->result(), TUninstallOldForm::YesResult);
    ASSERT_EQ(shell_.Calls().size(), 1u);
    EXPECT_EQ(shell_.Calls()[0].program, "C:\\LINGORA\\UNINST.EXE");
    EXPECT_EQ(shell_.Calls()[0].parameters, "C:\\LINGORA\\INSTALL.LOG");
    EXPECT_EQ(shell_.Calls()[0].folder, "C:\\LINGORA\\");
}

TEST_F(UninstallOldFormTest, YesButtonClickStarts) {
    WhenModal([this](QWidget*) { QTest::mouseClick(form_->YesButton, Qt::LeftButton); });
    EXPECT_TRUE(OfferOldVersionRemoval(Command));
    EXPECT_EQ(shell_.Calls().size(), 1u);
}

TEST_F(UninstallOldFormTest, NoEscapeAndCloseBoxStartNothing) {
    const std::vector<std::pair<const char*, std::function<void(QWidget*)>>> answers = {
        {"No button", [this](QWidget*) { QTest::mouseClick(form_->NoButton, Qt::LeftButton); }},
        {"Esc", [](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); }},
        {"close box", [](QWidget* dialog) { dialog->close(); }},
    };
    for (const auto& [how, answer] : answers) {
        SCOPED_TRACE(how);
        WhenModal(answer);
        EXPECT_FALSE(OfferOldVersionRemoval(Command));
        EXPECT_EQ(form_->result(), TUninstallOldForm::NoResult);
    }
    EXPECT_TRUE(shell_.Calls().empty());
}

TEST_F(UninstallOldFormTest, WorksWithoutTheProgramsForm) {
    UninstallOldForm = nullptr;
    WhenModal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Return); });
    EXPECT_TRUE(OfferOldVersionRemoval(Command));
    EXPECT_EQ(shell_.Calls().size(), 1u);
}

TEST(SplitUninstallCommand, SplitsAtTheFirstBlankUnlessTheProgramIsQuoted) {
    struct Case {
        const char* command;
        const char* program;
        const char* parameters;
        const char* folder;
    };
    const Case cases[] = {
        // A blank in an unquoted program path splits it: the registered form of
        // version 1.0 never has one.
        {"C:\\Program Files\\Old\\UNINST.EXE /x", "C:\\Program", "Files\\Old\\UNINST.EXE /x",
         "C:\\"},
        {"\"C:\\Program Files\\Old\\UNINST.EXE\" C:\\Old\\Install.log",
         "C:\\Program Files\\Old\\UNINST.EXE", "C:\\Old\\Install.log", "C:\\Program Files\\Old\\"},
        {"\"C:\\Old\\UNINST.EXE\"", "C:\\Old\\UNINST.EXE", "", "C:\\Old\\"},
        // Without a blank the whole command is the program to start.
        {"C:\\OLD\\UNINST.EXE", "C:\\OLD\\UNINST.EXE", "", "C:\\OLD\\"},
        {"UNINST.EXE a  b", "UNINST.EXE", "a  b", ""},
        // An unclosed quote is no quoted program.
        {"\"C:\\Old\\UN INST.EXE", "\"C:\\Old\\UN", "INST.EXE", "\"C:\\Old\\"},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const TUninstallCommand split = SplitUninstallCommand(c.command);
        EXPECT_EQ(split.Program, c.program);
        EXPECT_EQ(split.Parameters, c.parameters);
        EXPECT_EQ(split.Folder, c.folder);
    }
}

}  // namespace
