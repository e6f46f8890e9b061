#include "tests/wizard/WizardTestSupport.h"

#include <QLabel>

#include "dialogs/Unit_Constants.h"
#include "dialogs/Unit_ExitForm.h"
#include "dialogs/Unit_FullScreenForm.h"
#include "dialogs/Unit_UninstallOldForm.h"
#include "extract/Unit_ExtractForm.h"
#include "platform/TRegistry.h"
#include "wizard/Main.h"
#include "wizard/ProgramForms.h"

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
