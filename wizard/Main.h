// The wizard window: one window whose controls are shown and hidden page by
// page (welcome, licence, installation folder, Start-menu folder, confirmation,
// finished), the wizard state that it keeps from the first page to the last,
// and the installation run started from the confirmation page.
#pragma once

#include <QWidget>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "install/Unit_Installation.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

// The pages in their order.
enum class TWizardPage : std::uint8_t {
    Welcome,
    Licence,
    InstallFolder,
    ProgramFolder,
    Confirmation,
    Finished
};

// The wizard state: the installation's, and the page the wizard shows.
struct TSetupPars : TInstallationPars {
    TWizardPage Page = TWizardPage::Welcome;
};

extern TSetupPars SetupPars;
extern bool OldVersionFound;             // version 1.0 is installed
extern std::string OldUninstallCommand;  // its uninstall command line

class TMainForm : public QWidget {
    Q_OBJECT
  public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // The picture at the left and the line above the buttons.
    QLabel* WizardImage;
    QFrame* ButtonBevel;
    // welcome
    QLabel* WelcomeLabel;
    // licence
    QLabel* BeforeLicenceLabel;
    QPlainTextEdit* LicenceMemo;
    QLabel* AfterLicenceLabel;
    QRadioButton* AgreeRadio;
    QRadioButton* DisagreeRadio;
    // installation folder
    QLabel* SelectInstallDirLabel;
    QGroupBox* InstallDirBox;
    QLineEdit* InstallDirEdit;
    QPushButton* BrowseButton;
    // Start-menu folder
    QLabel* ProgFolderLabel;
    QLineEdit* ProgFolderEdit;
    QTreeWidget* ProgFoldersTree;
    // confirmation
    QLabel* ConfirmSettingsLabel;
    QPlainTextEdit* ConfirmMemo;
    // finished
    QLabel* FinishedLabel;
    QCheckBox* RestartCheckbox;
    QPushButton* FinishButton;
    // the button row
    QPushButton* BackButton;
    QPushButton* NextButton;
    QPushButton* CancelButton;

    void FormCreate();
    void FormShow();
    void NextButtonClick();
    void BackButtonClick();
    void AgreeRadioClick();
    void DisagreeRadioClick();
    void FinishButtonClick();
    void CancelButtonClick();
    void BrowseButtonClick();
    void FormCloseQuery(bool& canClose);
    void ProgFoldersTreeChange(QTreeWidgetItem* node);

    // Fills ProgFoldersTree from the user's Programs folder.
    void FillProgFoldersTree();

    // Said once, when Finish is first clicked, in a message box over the
    // wizard and on standard error: what the machine still lacks for what was
    // installed (that Wine is not installed). Empty: nothing to say.
    std::string FinishNote;

  signals:
    // The window has closed (the question, if any, answered with Exit).
    void Closed();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateControls();
    void SetCaptions();
    void ShowPage(TWizardPage page);
    // Each page is entered here, whether by Next or by Back.
    void EnterWelcomePage();
    void EnterLicencePage();
    void EnterInstallFolderPage();
    void EnterProgramFolderPage();
    void EnterConfirmationPage();
    // Next on the confirmation page: the installation run with the progress window.
    void InstallConfirmed();
    void ShowFinishedPage();
    // The folder message (why, or the general one) with the focus back on the field.
    void ComplainAboutFolder(QWidget* focus, const std::string& why = {});

    bool shown_ = false;
    std::string programsName_;  // the Programs folder's own name, as the tree's root shows it
};

extern TMainForm* MainForm;

// The lines of the confirmation list for an installation folder, the name of
// the Programs folder and a Start-menu folder (relative to it).
std::string ConfirmationText(const std::string& installFolder, const std::string& programsName,
                             const std::string& programFolder);
