#include "app/Forms.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include "dialogs/Unit_ExitForm.h"
#include "wizard/Main.h"

void CloseForTheSession() {
    ExitForTheSession = true;
    if (MainForm == nullptr || !MainForm->isVisible()) return;
    if (QWidget* modal = QApplication::activeModalWidget()) {
        // A dialog's reject is its Cancel or close box: Exit at the question,
        // Cancel at the copying and the disk prompt, which then ask it.
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    } else {
        MainForm->close();
    }
    // The next window in line once this one's loop has returned.
    QTimer::singleShot(50, QApplication::instance(), [] { CloseForTheSession(); });
}
