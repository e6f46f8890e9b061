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
#include "tests/support/TempPrefix.h"

// Answers the next modal window that comes up (other than `except`) with
// `answer`, which receives it. Returns at once; the answer runs from the event
// loop of the modal window. Counts the answers it gave.
class ModalAnswer {
  public:
    explicit ModalAnswer(std::function<void(QWidget*)> answer, QWidget* except = nullptr);
    // Waits for the modal window of that title.
    ModalAnswer(const std::string& title, std::function<void(QWidget*)> answer);
    ~ModalAnswer();
    bool Answered() const { return *answered_; }
    // The modal window's title and text (for message boxes) as it was answered.
    const std::string& Title() const { return *title_; }
    const std::string& Text() const { return *text_; }

  private:
    void Start(std::function<bool(QWidget*)> wanted, std::function<void(QWidget*)> answer);

    std::shared_ptr<bool> answered_ = std::make_shared<bool>(false);
    std::shared_ptr<std::string> title_ = std::make_shared<std::string>();
    std::shared_ptr<std::string> text_ = std::make_shared<std::string>();
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// A message box is answered with its default button.
void AcceptMessageBox(QWidget* box);

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
