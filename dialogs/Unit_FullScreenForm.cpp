#include "dialogs/Unit_FullScreenForm.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPalette>

#include "dialogs/Unit_Constants.h"
#include "dialogs/Unit_FormText.h"
#include "dialogs/WindowParents.h"
#include "platform/Platform.h"

TFullScreenForm* FullScreenForm = nullptr;

TFullScreenForm::TFullScreenForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                          Qt::WindowStaysOnBottomHint) {
    setObjectName("FullScreenForm");
    setAttribute(Qt::WA_ShowWithoutActivating);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(0, 128, 128));
    setPalette(palette);
    setAutoFillBackground(true);
    setEnabled(false);
    // A Wayland compositor gives the keyboard to the window clicked, and no
    // program can take it back: a backdrop that let clicks in would take it
    // from the wizard. There clicks go through it (on X11 the backdrop hands
    // the focus back itself, below).
    if (QGuiApplication::platformName().startsWith("wayland"))
        setWindowFlag(Qt::WindowTransparentForInput);
    FormCreate();
}

void TFullScreenForm::FormCreate() { setWindowTitle(FormText(FullScreenFormCaption)); }

void TFullScreenForm::ShowBehind(QWidget* front) {
    front_ = front;
    const ScreenSize screen = WindowServices().GetScreenSize();
    setGeometry(0, 0, screen.width, screen.height);
    show();
    StandOver(front_, this);
    if (front_ != nullptr) {
        front_->raise();
        front_->activateWindow();
    }
}

void TFullScreenForm::HideBackdrop() {
    lower();
    hide();
}

bool TFullScreenForm::event(QEvent* event) {
    // A click on the backdrop (where a window manager hands it the focus or
    // raises it) gives the wizard back the front place.
    switch (event->type()) {
        case QEvent::WindowActivate:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (front_ != nullptr && front_->isVisible()) {
                front_->raise();
                front_->activateWindow();
            }
            break;
        default:
            break;
    }
    return QWidget::event(event);
}
