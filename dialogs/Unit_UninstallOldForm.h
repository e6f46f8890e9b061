// The question shown at start when version 1.0 of the product is installed:
// Yes (modal result 1) runs that version's own uninstaller and ends the setup,
// No (2) goes on with the wizard.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;

class TUninstallOldForm : public QDialog {
    Q_OBJECT
  public:
    // Modal results.
    static constexpr int YesResult = 1;
    static constexpr int NoResult = 2;

    explicit TUninstallOldForm(QWidget* parent = nullptr);

    QLabel* UninstallOldLabel;
    QPushButton* YesButton;
    QPushButton* NoButton;

    void FormCreate();
    void YesButtonClick();
    void NoButtonClick();

    // Esc and the close box answer No.
    void reject() override;
};

extern TUninstallOldForm* UninstallOldForm;

// A registered uninstall command taken apart for ShellExecute.
struct TUninstallCommand {
    std::string Program;
    std::string Parameters;
    std::string Folder;  // the program's folder with its trailing backslash; "" when it has none
};

// Splits the command at its first blank: the program before it, the parameters
// after it. A program in double quotes is taken whole up to its closing quote
// (without the quotes). A command without a blank is all program.
TUninstallCommand SplitUninstallCommand(const std::string& command);

// Shows UninstallOldForm modally. On Yes starts the uninstaller of the command
// (its start is not checked) and returns true; otherwise returns false.
// The prompt stands over owner (the wizard), else over the window in front.
bool OfferOldVersionRemoval(const std::string& uninstallCommand, QWidget* owner = nullptr);
