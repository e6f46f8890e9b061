#include "tests/wizard/WizardTestSupport.h"

#include <QLabel>

#include "app/Forms.h"
#include "dialogs/Unit_Constants.h"
#include "dialogs/Unit_ExitForm.h"
#include "dialogs/Unit_FullScreenForm.h"
#include "dialogs/Unit_UninstallOldForm.h"
#include "extract/Unit_ExtractForm.h"
#include "platform/TRegistry.h"
#include "wizard/Main.h"

ModalAnswer::ModalAnswer(std::function<void(QWidget*)> answer, QWidget* except) {
    Start([except](QWidget* modal) { return modal != except; }, std::move(answer));
}

ModalAnswer::ModalAnswer(const std::string& title, std::function<void(QWidget*)> answer) {
    Start([title](QWidget* modal) { return modal->windowTitle().toStdString() == title; },
          std::move(answer));
}

void ModalAnswer::Start(std::function<bool(QWidget*)> wanted,
                        std::function<void(QWidget*)> answer) {
    // Polled from a timer rather than waited for in a loop of our own: the
    // modal window may come up in a loop nested inside the test's, and a loop
    // of ours below it could not see it until it had gone.
    auto answered = answered_;
    auto title = title_;
    auto text = text_;
    auto alive = alive_;
    auto* poll = new QTimer;
    auto polls = std::make_shared<int>(0);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        const bool found = *alive && modal != nullptr && modal->isVisible() && wanted(modal);
        if (!found && *alive && ++*polls < 2000) return;
        poll->stop();
        poll->deleteLater();
        if (!found) return;
        *title = modal->windowTitle().toStdString();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) *text = box->text().toStdString();
        *answered = true;
        answer(modal);
    });
    poll->start();
}

ModalAnswer::~ModalAnswer() { *alive_ = false; }

void AcceptMessageBox(QWidget* box) {
    if (auto* message = qobject_cast<QMessageBox*>(box)) {
        message->accept();
        return;
    }
    ADD_FAILURE() << "not a message box: " << box->metaObject()->className();
    box->close();
}

WizardFixture::WizardFixture(PrefixArch arch)
    : prefix_(arch),
      windows_(prefix_.Machine().WindowServices()),
      shell_(prefix_.Machine().Shell()) {}

void WizardFixture::SetUp() {
    Platform platform = prefix_.Machine().GetPlatform();
    platform.windows = &windows_;
    platform.shell = &shell_;
    platform_ = std::make_unique<ScopedPlatform>(platform);
    BuildTexts();
}

void WizardFixture::TearDown() {
    DestroyForms();
    ReleaseTexts();
    platform_.reset();
}

void WizardFixture::CreateForms() { ::CreateForms(); }

void WizardFixture::DestroyForms() { ::DestroyForms(); }

void WizardFixture::ShowMainForm() {
    MainForm->show();
    MainForm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(MainForm));
}

void WizardFixture::WriteMachineString(const std::string& key, const std::string& name,
                                       const std::string& value) {
    TRegistry registry;
    registry.SetRootKey(RootKey::LocalMachine);
    ASSERT_TRUE(registry.OpenKey(key, true)) << key;
    registry.WriteString(name, value);
}
