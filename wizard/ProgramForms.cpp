#include "wizard/ProgramForms.h"

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
