#include "app/Forms.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include "dialogs/Unit_ExitForm.h"
#include "dialogs/Unit_FullScreenForm.h"
#include "dialogs/Unit_UninstallOldForm.h"
#include "extract/Unit_ExtractForm.h"
#include "wizard/Main.h"

void CreateForms() {
    MainForm = new TMainForm;
    ExitForm = new TExitForm;
    FullScreenForm = new TFullScreenForm;
    UninstallOldForm = new TUninstallOldForm;
    ExtractForm = new TExtractForm;
}

namespace {
template <typename T>
void Destroy(T*& form) {
    delete form;
    form = nullptr;
}
}  // namespace

void DestroyForms() {
    Destroy(ExtractForm);
    Destroy(UninstallOldForm);
    Destroy(FullScreenForm);
    Destroy(ExitForm);
    Destroy(MainForm);
}

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
