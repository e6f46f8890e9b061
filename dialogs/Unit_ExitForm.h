// The question asked whenever the wizard is about to close before the product
// has been installed: Continue (modal result 1) keeps the wizard, Exit (2) lets
// it close. Also asked by the copying when the user cancels a disk change.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class TExitForm : public QDialog {
    Q_OBJECT
  public:
    // Modal results.
    static constexpr int ResumeResult = 1;
    static constexpr int ExitResult = 2;

    explicit TExitForm(QWidget* parent = nullptr);

    QLabel* TextLabel;
    QPushButton* ResumeButton;
    QPushButton* ExitButton;

    void FormCreate();
    void FormShow();
    void ResumeButtonClick();
    void ExitButtonClick();

    // Closing by the close box (or any other way than the two buttons) answers Exit.
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

extern TExitForm* ExitForm;

// Asks the exit question (the program's ExitForm, else one made for it); true
// when the answer is Exit. Once the session ends (ExitForTheSession), the answer
// is Exit without a question.
bool ConfirmExit();
extern bool ExitForTheSession;
