#include "dialogs/Unit_ExitForm.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "dialogs/FormInUse.h"
#include "dialogs/Unit_Constants.h"
#include "dialogs/Unit_FormText.h"
#include "dialogs/WindowParents.h"

TExitForm* ExitForm = nullptr;

bool ExitForTheSession = false;

bool ConfirmExit() {
    if (ExitForTheSession) return true;
    const FormInUse<TExitForm> form(ExitForm);
    // Over the window that asks: the wizard, or the progress window.
    StandOver(&*form, OwnerWindow());
    return form->exec() == TExitForm::ExitResult;
}

namespace {
constexpr int ClientWidth = 345;
constexpr int ClientHeight = 185;
}  // namespace

TExitForm::TExitForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName("ExitForm");
    setModal(true);
    setFixedSize(ClientWidth, ClientHeight);

    TextLabel = new QLabel(this);
    TextLabel->setObjectName("TextLabel");
    TextLabel->setGeometry(16, 16, 313, 129);
    TextLabel->setWordWrap(true);
    TextLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    ResumeButton = new QPushButton(this);
    ResumeButton->setObjectName("ResumeButton");
    ResumeButton->setGeometry(176, 152, 75, 25);
    ResumeButton->setDefault(true);

    ExitButton = new QPushButton(this);
    ExitButton->setObjectName("ExitButton");
    ExitButton->setGeometry(256, 152, 75, 25);

    setTabOrder(ResumeButton, ExitButton);
    connect(ResumeButton, &QPushButton::clicked, this, &TExitForm::ResumeButtonClick);
    connect(ExitButton, &QPushButton::clicked, this, &TExitForm::ExitButtonClick);
    FormCreate();
}

void TExitForm::FormCreate() {
    setWindowTitle(QString::fromLatin1(ExitFormCaption));
    TextLabel->setText(FormText(ExitText));
    ResumeButton->setText(FormText(ResumeButtonCaption));
    ExitButton->setText(FormText(ExitButtonCaption));
}

void TExitForm::FormShow() {
    // Centred on the screen, whatever window asks the question.
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->geometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    ResumeButton->setDefault(true);
    ResumeButton->setFocus(Qt::OtherFocusReason);
}

void TExitForm::ResumeButtonClick() { done(ResumeResult); }

void TExitForm::ExitButtonClick() { done(ExitResult); }

void TExitForm::reject() { done(ExitResult); }

void TExitForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TExitForm::keyPressEvent(QKeyEvent* event) {
    // Esc presses the Exit button, as the cancel button of the dialog.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        ExitButton->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
