#include "dialogs/Unit_ExitForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "dialogs/Unit_Constants.h"
#include "tests/support/LayoutCheck.h"

namespace {

class ExitFormTest : public testing::Test {
  protected:
    void SetUp() override {
        BuildTexts();
        form_ = new TExitForm;
    }
    void TearDown() override {
        delete form_;
        ReleaseTexts();
    }

    // Runs the dialog modally and answers it with `answer` once it is up.
    int ExecAnswering(std::function<void(TExitForm&)> answer) {
        QTimer::singleShot(0, [this, answer] {
            ASSERT_TRUE(
                QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }));
            EXPECT_EQ(QApplication::activeModalWidget(), form_);
            form_->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(form_));
            answer(*form_);
        });
        // A dialog that the answer did not end must not hang the suite.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, form_, [this] { form_->done(-1); });
        guard.start(10000);
        return form_->exec();
    }

    TExitForm* form_ = nullptr;
};

TEST_F(ExitFormTest, ShowsItsTextsAndLayout) {
    EXPECT_EQ(form_->windowTitle(), "Exit setup");
    EXPECT_EQ(form_->ResumeButton->text(), "&Continue");
    EXPECT_EQ(form_->ExitButton->text(), "&Exit");
    EXPECT_TRUE(form_->TextLabel->text().startsWith("Setup has not been completed."));
    EXPECT_TRUE(form_->TextLabel->text().contains("\n\nYou can execute"));
    EXPECT_FALSE(form_->TextLabel->text().contains('\r'));
    EXPECT_TRUE(form_->ResumeButton->isDefault());
    // The text fits the label in the default font, the captions their buttons.
    ExpectLaidOut(*form_);
}

TEST_F(ExitFormTest, ButtonsGiveTheirModalResults) {
    EXPECT_EQ(
        ExecAnswering([](TExitForm& f) { QTest::mouseClick(f.ResumeButton, Qt::LeftButton); }),
        TExitForm::ResumeResult);
    EXPECT_EQ(ExecAnswering([](TExitForm& f) { QTest::mouseClick(f.ExitButton, Qt::LeftButton); }),
              TExitForm::ExitResult);
}

TEST_F(ExitFormTest, EnterContinuesEscExitsCloseBoxExits) {
    int focusedOnShow = 0;
    EXPECT_EQ(ExecAnswering([&](TExitForm& f) {
                  if (f.focusWidget() == f.ResumeButton) ++focusedOnShow;
                  QTest::keyClick(&f, Qt::Key_Return);
              }),
              TExitForm::ResumeResult);
    EXPECT_EQ(ExecAnswering([&](TExitForm& f) {
                  if (f.focusWidget() == f.ResumeButton) ++focusedOnShow;
                  QTest::keyClick(&f, Qt::Key_Escape);
              }),
              TExitForm::ExitResult);
    EXPECT_EQ(ExecAnswering([](TExitForm& f) { f.close(); }), TExitForm::ExitResult);
    EXPECT_EQ(focusedOnShow, 2);
}

TEST_F(ExitFormTest, MnemonicsPressTheButtons) {
    EXPECT_EQ(ExecAnswering([](TExitForm& f) { QTest::keyClick(&f, Qt::Key_E, Qt::AltModifier); }),
              TExitForm::ExitResult);
    EXPECT_EQ(ExecAnswering([](TExitForm& f) {
                  f.ExitButton->setFocus();
                  QTest::keyClick(&f, Qt::Key_C, Qt::AltModifier);
              }),
              TExitForm::ResumeResult);
}

TEST_F(ExitFormTest, EnterPressesTheFocusedButton) {
    EXPECT_EQ(ExecAnswering([](TExitForm& f) {
                  QTest::keyClick(&f, Qt::Key_Tab);
                  EXPECT_EQ(f.focusWidget(), f.ExitButton);
                  QTest::keyClick(f.ExitButton, Qt::Key_Return);
              }),
              TExitForm::ExitResult);
}

}  // namespace
