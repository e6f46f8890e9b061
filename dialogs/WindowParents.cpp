#include "dialogs/WindowParents.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

#include "dialogs/Unit_FullScreenForm.h"

void StandOver(QWidget* window, QWidget* parent) {
    if (window == nullptr || parent == nullptr) return;
    QWidget* top = parent->window();
    if (top == window->window()) return;
    // The native windows exist from here on (a window's own showing would make it).
    window->winId();
    top->winId();
    if (QWindow* handle = window->windowHandle()) handle->setTransientParent(top->windowHandle());
}

QWidget* OwnerWindow() {
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal->isVisible())
        return modal;
    if (FullScreenForm != nullptr)
        if (QWidget* front = FullScreenForm->Front(); front != nullptr && front->isVisible())
            return front;
    QWidget* active = QApplication::activeWindow();
    return active == FullScreenForm ? nullptr : active;
}
