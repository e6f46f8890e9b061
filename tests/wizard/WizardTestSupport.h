// Helpers of the wizard's tests: the forms of the program on a temporary
// prefix, and modal windows answered from a timer.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/Doubles.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/TempPrefix.h"

// The forms of the program on a temporary prefix whose window services
// record restarts.
class WizardFixture : public testing::Test {
  protected:
    explicit WizardFixture(PrefixArch arch = PrefixArch::Win32);
    void SetUp() override;
    void TearDown() override;

    // Creates the forms in the program's order (the main one reads the machine).
    void CreateForms();
    void DestroyForms();
    // Shows the main window as the program does and waits until it is active.
    void ShowMainForm();

    // A string value under HKEY_LOCAL_MACHINE, its key created.
    void WriteMachineString(const std::string& key, const std::string& name,
                            const std::string& value);

    TempPrefix prefix_;
    RecordingWindowServices windows_;
    RecordingShell shell_;
    std::unique_ptr<ScopedPlatform> platform_;
};
