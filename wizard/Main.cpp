#include "wizard/Main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcutEvent>
#include <QShowEvent>
#include <QTreeWidget>
#include <QUrl>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/ErrorReport.h"
#include "dialogs/FormInUse.h"
#include "dialogs/Unit_Constants.h"
#include "dialogs/Unit_ExitForm.h"
#include "dialogs/Unit_FormText.h"
#include "dialogs/Unit_FullScreenForm.h"
#include "dialogs/Unit_UninstallOldForm.h"
#include "dialogs/WindowParents.h"
#include "extract/CopyingScope.h"
#include "extract/Unit_ExtractForm.h"
#include "extract/Unit_ExtractThread.h"
#include "install/Unit_FolderProbe.h"
#include "installlog/Unit_Paths.h"
#include "platform/CodePage.h"
#include "platform/DiagnosticLog.h"
#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/WinTypes.h"
#include "volumes/CopyResult.h"
#include "volumes/DiskSearch.h"
#include "volumes/VolumeDigest.h"
#include "wizard/AnswerFile.h"
#include "wizard/Unit_JpegImage.h"
#include "wizard/Unit_ProgramGroups.h"

TSetupPars SetupPars;
bool OldVersionFound = false;
std::string OldUninstallCommand;
TMainForm* MainForm = nullptr;

namespace {

// The longest stored name of the set in the first source folder, as far as it
// can be told before disk 1 is asked for (0 when it cannot: the confirmation
// checks again with disk 1 found).
int SourceLongestName() {
    if (SetupPars.Sources.empty()) return 0;
    try {
        return volume::LongestStoredName(SetupPars.Sources.front());
    } catch (const std::exception&) {
        return 0;  // a damaged digest file is reported when the run starts
    }
}

// The choices of the run as an answer file holds them (--save-answers);
// Exception when it cannot be written.
void SaveWizardAnswers(bool restart) {
    if (SaveAnswersPath.empty()) return;
    TAnswers answers;
    answers.InstallFolder = SetupPars.InstallFolder;
    answers.StartMenuFolder = SetupPars.ProgramFolder;
    answers.KeepVersion1 = OldVersionFound;  // the wizard went on beside it
    answers.Restart = restart;
    answers.DesktopEntries = Desktop().Enabled();
    const std::string failed = SaveAnswers(SaveAnswersPath, answers);
    if (!failed.empty()) throw Exception(Utf8ToAnsiForMessage(failed));
    diag::Note("saved the answers in ", diag::Host{SaveAnswersPath});
}

// The window: the picture at the left, the page at the right, the button row
// below a line.
constexpr int ClientWidth = 560;
constexpr int ClientHeight = 392;
constexpr int PictureWidth = 164;
constexpr int PictureHeight = 340;
constexpr int PageLeft = 180;
constexpr int PageTop = 16;
constexpr int PageWidth = ClientWidth - PageLeft - 12;
constexpr int BevelTop = PictureHeight;
constexpr int ButtonTop = 355;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 25;
constexpr int CancelLeft = ClientWidth - 12 - ButtonWidth;
constexpr int NextLeft = CancelLeft - 10 - ButtonWidth;
constexpr int BackLeft = NextLeft - ButtonWidth;

QLabel* NewLabel(QWidget* parent, const char* name, QRect geometry) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QPushButton* NewButton(QWidget* parent, const char* name, QRect geometry) {
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    // Enter presses the focused button, as in a dialog.
    button->setAutoDefault(true);
    return button;
}

QPlainTextEdit* NewMemo(QWidget* parent, const char* name, QRect geometry) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(name);
    memo->setGeometry(geometry);
    memo->setReadOnly(true);
    memo->setTabChangesFocus(true);
    memo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return memo;
}

// Both radios unchecked: an exclusive group keeps one checked otherwise.
void UncheckBoth(QRadioButton* a, QRadioButton* b) {
    for (QRadioButton* radio : {a, b}) {
        radio->setAutoExclusive(false);
        radio->setChecked(false);
        radio->setAutoExclusive(true);
    }
}

void SetShown(std::initializer_list<QWidget*> widgets, bool shown) {
    for (QWidget* widget : widgets) widget->setVisible(shown);
}

// The picture of the wizard, decoded from our own JPEG.
QPixmap WizardPicture() {
    QFile file(":/Wizard.jpg");
    if (!file.open(QIODevice::ReadOnly)) throw Exception("Cannot open the wizard picture");
    const QByteArray bytes = file.readAll();
    const TRgbImage decoded = DecodeJpeg(std::string(bytes.constData(), bytes.size()));
    const QImage image(decoded.Pixels.data(), decoded.Width, decoded.Height, decoded.Width * 3,
                       QImage::Format_RGB888);
    return QPixmap::fromImage(image.copy());  // the copy owns its pixels
}

QIcon FolderIcon() {
    QIcon icon;
    const QPixmap closed(":/FolderClosed.png");
    const QPixmap open(":/FolderOpen.png");
    icon.addPixmap(closed, QIcon::Normal);
    icon.addPixmap(closed, QIcon::Active);
    icon.addPixmap(open, QIcon::Selected);
    return icon;
}

QTreeWidgetItem* NewNode(const std::string& name) {
    auto* item = new QTreeWidgetItem(QStringList(FormText(name)));
    item->setIcon(0, FolderIcon());
    return item;
}

void AddChildren(QTreeWidgetItem* item, const TFolderNode& node) {
    for (const TFolderNode& child : node.Children) {
        QTreeWidgetItem* childItem = NewNode(child.Name);
        item->addChild(childItem);
        AddChildren(childItem, child);
    }
}

}  // namespace

std::string ConfirmationText(const std::string& installFolder, const std::string& programsName,
                             const std::string& programFolder) {
    std::string startMenu;
    for (const char c : JoinPath(programsName, programFolder)) {
        if (c == '\\')
            startMenu += " | ";
        else
            startMenu += c;
    }
    const std::string lineEnd = "\r\n";
    return std::string(ConfirmInstallFolderLine) + lineEnd + "   " + installFolder + lineEnd +
           lineEnd + lineEnd + ConfirmProgramFolderLine + lineEnd + "   " + startMenu;
}

TMainForm::TMainForm(QWidget* parent) : QWidget(parent) {
    setObjectName("MainForm");
    CreateControls();
    FormCreate();
}

TMainForm::~TMainForm() {
    if (MainForm == this) MainForm = nullptr;
}

void TMainForm::CreateControls() {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(ClientWidth, ClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - QPoint(ClientWidth / 2, ClientHeight / 2));

    WizardImage = new QLabel(this);
    WizardImage->setObjectName("WizardImage");
    WizardImage->setGeometry(0, 0, PictureWidth, PictureHeight);
    WizardImage->setScaledContents(true);

    ButtonBevel = new QFrame(this);
    ButtonBevel->setObjectName("ButtonBevel");
    ButtonBevel->setFrameShape(QFrame::HLine);
    ButtonBevel->setFrameShadow(QFrame::Sunken);
    ButtonBevel->setGeometry(0, BevelTop, ClientWidth, 2);

    WelcomeLabel = NewLabel(this, "WelcomeLabel", {PageLeft, PageTop, PageWidth, 316});

    BeforeLicenceLabel = NewLabel(this, "BeforeLicenceLabel", {PageLeft, PageTop, PageWidth, 34});
    LicenceMemo = NewMemo(this, "LicenceMemo", {PageLeft, 54, PageWidth, 178});
    AfterLicenceLabel = NewLabel(this, "AfterLicenceLabel", {PageLeft, 240, PageWidth, 34});
    AgreeRadio = new QRadioButton(this);
    AgreeRadio->setObjectName("AgreeRadio");
    AgreeRadio->setGeometry(PageLeft, 280, PageWidth, 22);
    DisagreeRadio = new QRadioButton(this);
    DisagreeRadio->setObjectName("DisagreeRadio");
    DisagreeRadio->setGeometry(PageLeft, 304, PageWidth, 22);

    SelectInstallDirLabel =
        NewLabel(this, "SelectInstallDirLabel", {PageLeft, PageTop, PageWidth, 150});
    InstallDirBox = new QGroupBox(this);
    InstallDirBox->setObjectName("InstallDirBox");
    InstallDirBox->setGeometry(PageLeft, 258, PageWidth, 66);
    InstallDirEdit = new QLineEdit(InstallDirBox);
    InstallDirEdit->setObjectName("InstallDirEdit");
    InstallDirEdit->setGeometry(12, 28, PageWidth - 12 - 8 - 86 - 10, 25);
    BrowseButton = NewButton(InstallDirBox, "BrowseButton", {PageWidth - 10 - 86, 28, 86, 25});

    ProgFolderLabel = NewLabel(this, "ProgFolderLabel", {PageLeft, PageTop, PageWidth, 66});
    ProgFolderEdit = new QLineEdit(this);
    ProgFolderEdit->setObjectName("ProgFolderEdit");
    ProgFolderEdit->setGeometry(PageLeft, 88, PageWidth, 25);
    ProgFoldersTree = new QTreeWidget(this);
    ProgFoldersTree->setObjectName("ProgFoldersTree");
    ProgFoldersTree->setGeometry(PageLeft, 120, PageWidth, 206);
    ProgFoldersTree->setHeaderHidden(true);
    ProgFoldersTree->setColumnCount(1);
    ProgFoldersTree->setSelectionMode(QAbstractItemView::SingleSelection);
    ProgFoldersTree->setIconSize(QSize(16, 16));

    ConfirmSettingsLabel =
        NewLabel(this, "ConfirmSettingsLabel", {PageLeft, PageTop, PageWidth, 80});
    ConfirmMemo = NewMemo(this, "ConfirmMemo", {PageLeft, 104, PageWidth, 222});
    ConfirmMemo->setLineWrapMode(QPlainTextEdit::NoWrap);

    FinishedLabel = NewLabel(this, "FinishedLabel", {PageLeft, PageTop, PageWidth, 270});
    RestartCheckbox = new QCheckBox(this);
    RestartCheckbox->setObjectName("RestartCheckbox");
    RestartCheckbox->setGeometry(PageLeft, 296, PageWidth, 22);
    FinishButton =
        NewButton(this, "FinishButton", {NextLeft, ButtonTop, ButtonWidth, ButtonHeight});

    BackButton = NewButton(this, "BackButton", {BackLeft, ButtonTop, ButtonWidth, ButtonHeight});
    NextButton = NewButton(this, "NextButton", {NextLeft, ButtonTop, ButtonWidth, ButtonHeight});
    CancelButton =
        NewButton(this, "CancelButton", {CancelLeft, ButtonTop, ButtonWidth, ButtonHeight});

    // The page's controls first, then the button row.
    QWidget* const order[] = {LicenceMemo,     AgreeRadio,     DisagreeRadio,   InstallDirEdit,
                              BrowseButton,    ProgFolderEdit, ProgFoldersTree, ConfirmMemo,
                              RestartCheckbox, FinishButton,   BackButton,      NextButton,
                              CancelButton};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    // "&No, I do not agree" and "&Next >" share Alt+N on the licence page.
    NextButton->installEventFilter(this);
    DisagreeRadio->installEventFilter(this);

    connect(NextButton, &QPushButton::clicked, this, &TMainForm::NextButtonClick);
    connect(BackButton, &QPushButton::clicked, this, &TMainForm::BackButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TMainForm::CancelButtonClick);
    connect(FinishButton, &QPushButton::clicked, this, &TMainForm::FinishButtonClick);
    connect(BrowseButton, &QPushButton::clicked, this, &TMainForm::BrowseButtonClick);
    connect(AgreeRadio, &QRadioButton::clicked, this, &TMainForm::AgreeRadioClick);
    connect(DisagreeRadio, &QRadioButton::clicked, this, &TMainForm::DisagreeRadioClick);
    // Only a selection that the user makes changes the edit: the tree also gets
    // a current node when it merely receives the focus.
    connect(ProgFoldersTree, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> selected = ProgFoldersTree->selectedItems();
        if (!selected.isEmpty()) ProgFoldersTreeChange(selected.front());
    });
}

void TMainForm::FormCreate() {
    SetupPars.Page = TWizardPage::Welcome;
    SetupPars.NoExitConfirmation = false;
    SetupPars.FailedPartWay = false;
    // An earlier installation that cannot be read is shown as an error; the
    // wizard still starts, with the defaults.
    TOldVersion oldVersion;
    ReadStartState(SetupPars, oldVersion, ShowException);
    OldVersionFound = oldVersion.Found;
    OldUninstallCommand = oldVersion.UninstallCommand;

    SetCaptions();
    try {
        WizardImage->setPixmap(WizardPicture());
    } catch (const std::exception& error) {
        ShowException(error);
    }
    EnterWelcomePage();
}

void TMainForm::SetCaptions() {
    setWindowTitle(FormText(MainFormCaption));
    WelcomeLabel->setText(FormText(WelcomeText));
    BeforeLicenceLabel->setText(FormText(BeforeLicenceText));
    LicenceMemo->setPlainText(FormText(LicenceText));
    AfterLicenceLabel->setText(FormText(AfterLicenceText));
    AgreeRadio->setText(FormText(AgreeRadioCaption));
    DisagreeRadio->setText(FormText(DisagreeRadioCaption));
    SelectInstallDirLabel->setText(FormText(SelectInstallDirText));
    InstallDirBox->setTitle(FormText(InstallDirBoxCaption));
    BrowseButton->setText(FormText(BrowseButtonCaption));
    ProgFolderLabel->setText(FormText(ProgFolderText));
    ConfirmSettingsLabel->setText(FormText(ConfirmSettingsText));
    FinishedLabel->setText(FormText(FinishedText));
    RestartCheckbox->setText(FormText(RestartCheckboxCaption));
    FinishButton->setText(FormText(FinishButtonCaption));
    BackButton->setText(FormText(BackButtonCaption));
    NextButton->setText(FormText(NextButtonCaption));
    CancelButton->setText(FormText(CancelButtonCaption));
}

void TMainForm::ShowPage(TWizardPage page) {
    SetupPars.Page = page;
    SetShown({WelcomeLabel}, page == TWizardPage::Welcome);
    SetShown({BeforeLicenceLabel, LicenceMemo, AfterLicenceLabel, AgreeRadio, DisagreeRadio},
             page == TWizardPage::Licence);
    SetShown({SelectInstallDirLabel, InstallDirBox}, page == TWizardPage::InstallFolder);
    SetShown({ProgFolderLabel, ProgFolderEdit, ProgFoldersTree},
             page == TWizardPage::ProgramFolder);
    SetShown({ConfirmSettingsLabel, ConfirmMemo}, page == TWizardPage::Confirmation);
    SetShown({FinishedLabel, RestartCheckbox, FinishButton}, page == TWizardPage::Finished);
    SetShown({BackButton, NextButton, CancelButton}, page != TWizardPage::Finished);
}

// Enter that no control takes (in an edit, on a radio button, the tree or the
// restart box) presses the page's own button, Next or Finish, as a wizard's
// default button does.
void TMainForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QPushButton* button = SetupPars.Page == TWizardPage::Finished ? FinishButton : NextButton;
        if (button->isVisible() && button->isEnabled()) {
            button->animateClick();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    // While both answer Alt+N (Next is enabled once an answer is chosen), the
    // key goes forward, as the user expects of Next; before that only the
    // radio answers it.
    if ((watched == NextButton || watched == DisagreeRadio) && event->type() == QEvent::Shortcut &&
        static_cast<QShortcutEvent*>(event)->isAmbiguous() && NextButton->isEnabled() &&
        NextButton->isVisible()) {
        NextButton->animateClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_ || event->spontaneous()) return;
    shown_ = true;
    FormShow();
}

void TMainForm::FormShow() {
    NextButton->setFocus(Qt::OtherFocusReason);
    if (OldVersionFound) {
        if (OfferOldVersionRemoval(OldUninstallCommand, this)) {
            SetupPars.NoExitConfirmation = true;
            close();
            return;
        }
        diag::Note("decision: version 1.0 stays; the wizard goes on beside it");
        activateWindow();  // back from the question, on the first page
        NextButton->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (FullScreenForm != nullptr) FullScreenForm->ShowBehind(this);
}

void TMainForm::EnterWelcomePage() {
    ShowPage(TWizardPage::Welcome);
    BackButton->setEnabled(false);
    NextButton->setEnabled(true);
    NextButton->setFocus(Qt::OtherFocusReason);
}

void TMainForm::EnterLicencePage() {
    ShowPage(TWizardPage::Licence);
    BackButton->setEnabled(true);
    NextButton->setEnabled(false);
    UncheckBoth(AgreeRadio, DisagreeRadio);
    LicenceMemo->setFocus(Qt::OtherFocusReason);
}

void TMainForm::EnterInstallFolderPage() {
    ShowPage(TWizardPage::InstallFolder);
    InstallDirEdit->setText(FormText(SetupPars.InstallFolder));
    NextButton->setFocus(Qt::OtherFocusReason);
}

void TMainForm::EnterProgramFolderPage() {
    ShowPage(TWizardPage::ProgramFolder);
    FillProgFoldersTree();
    ProgFolderEdit->setText(FormText(SetupPars.ProgramFolder));
    NextButton->setFocus(Qt::OtherFocusReason);
}

void TMainForm::EnterConfirmationPage() {
    ShowPage(TWizardPage::Confirmation);
    ConfirmMemo->setPlainText(FormText(
        ConfirmationText(SetupPars.InstallFolder, programsName_, SetupPars.ProgramFolder)));
    NextButton->setFocus(Qt::OtherFocusReason);
}

void TMainForm::ComplainAboutFolder(QWidget* focus, const std::string& why) {
    diag::Note("decision: the folder typed is refused; the page stays");
    QMessageBox::critical(this, QApplication::applicationName(),
                          FormText(why.empty() ? std::string(FolderErrorText) : why));
    // Without a window manager nobody hands the activation back to the wizard.
    activateWindow();
    focus->setFocus(Qt::OtherFocusReason);
}

void TMainForm::NextButtonClick() {
    switch (SetupPars.Page) {
        case TWizardPage::Welcome:
            EnterLicencePage();
            break;
        case TWizardPage::Licence:
            if (AgreeRadio->isChecked())
                EnterInstallFolderPage();
            else
                close();  // asks the exit question
            break;
        case TWizardPage::InstallFolder: {
            const std::string typed = AnsiFromForm(InstallDirEdit->text());
            if (const std::string limit =
                    IsDrivePath(typed) ? InstallFolderLimitRefusal(typed, SourceLongestName())
                                       : std::string();
                !limit.empty()) {
                ComplainAboutFolder(InstallDirEdit, limit);
                break;
            }
            const auto folder = AcceptInstallFolder(typed);
            if (!folder) {
                ComplainAboutFolder(InstallDirEdit);
                break;
            }
            SetupPars.InstallFolder = *folder;
            diag::Note("decision: the installation folder ", *folder);
            EnterProgramFolderPage();
            break;
        }
        case TWizardPage::ProgramFolder: {
            const std::string typed = AnsiFromForm(ProgFolderEdit->text());
            if (const std::string limit = ProgramFolderLimitRefusal(typed); !limit.empty()) {
                ComplainAboutFolder(ProgFolderEdit, limit);
                break;
            }
            const auto name = AcceptProgramFolder(typed);
            if (!name) {
                ComplainAboutFolder(ProgFolderEdit);
                break;
            }
            SetupPars.ProgramFolder = *name;
            diag::Note("decision: the Start-menu folder ", *name);
            EnterConfirmationPage();
            break;
        }
        case TWizardPage::Confirmation:
            InstallConfirmed();
            break;
        case TWizardPage::Finished:
            break;
    }
}

void TMainForm::BackButtonClick() {
    switch (SetupPars.Page) {
        case TWizardPage::Welcome:
        case TWizardPage::Finished:
            break;
        case TWizardPage::Licence:
            EnterWelcomePage();
            break;
        case TWizardPage::InstallFolder:
            EnterLicencePage();
            break;
        case TWizardPage::ProgramFolder:
            EnterInstallFolderPage();
            break;
        case TWizardPage::Confirmation:
            EnterProgramFolderPage();
            break;
    }
}

void TMainForm::AgreeRadioClick() { NextButton->setEnabled(true); }

void TMainForm::DisagreeRadioClick() { NextButton->setEnabled(true); }

void TMainForm::CancelButtonClick() { close(); }

void TMainForm::FinishButtonClick() {
    if (!FinishNote.empty()) {
        const std::string note = std::exchange(FinishNote, std::string());
        std::fprintf(stderr, "lingora-setup: warning: %s\n", note.c_str());
        QMessageBox::information(this, FormText(ApplicationTitle), FormText(note));
    }
    try {
        SaveWizardAnswers(RestartCheckbox->isChecked());
    } catch (const std::exception& failed) {
        // The installation is done: the answers' failure does not hold the wizard.
        QMessageBox::warning(this, FormText(ApplicationTitle), FormText(failed.what()));
    }
    if (!RestartCheckbox->isChecked()) {
        close();
        return;
    }
    if (FullScreenForm != nullptr) FullScreenForm->HideBackdrop();
    show();
    // When the machine restarts, the session ends and the wizard with it; when
    // it refuses, the wizard stays on the finished page.
    if (WindowServices().ExitWindowsEx(win::EWX_REBOOT)) close();
}

void TMainForm::BrowseButtonClick() {
    QFileDialog dialog(this, FormText(BrowseDialogTitle));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setObjectName("BrowseDialog");
    // Drive C: of the machine at hand in the side bar.
    if (const std::optional<std::string> drive = Shell().WindowsPathToHost("C:\\"))
        dialog.setSidebarUrls({QUrl::fromLocalFile(QString::fromStdString(*drive))});
    // The dialog opens at the nearest existing folder of the edit's path.
    std::string start = AnsiFromForm(InstallDirEdit->text());
    start = SplitExistingFolder(start).Existing;
    if (const std::optional<std::string> host = Shell().WindowsPathToHost(start))
        dialog.setDirectory(QString::fromStdString(*host));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const std::string chosen = dialog.selectedFiles().front().toStdString();
    if (const std::optional<std::string> path = Shell().HostPathToWindows(chosen))
        InstallDirEdit->setText(FormText(*path));
}

void TMainForm::FillProgFoldersTree() {
    ProgFoldersTree->clear();
    const std::string programs = ProgramsFolder();
    programsName_.clear();
    if (programs.empty()) return;
    const TFolderNode root = ReadFolderTree(programs);
    programsName_ = root.Name;
    QTreeWidgetItem* rootItem = NewNode(root.Name);
    ProgFoldersTree->addTopLevelItem(rootItem);
    AddChildren(rootItem, root);
    rootItem->setExpanded(true);
}

void TMainForm::ProgFoldersTreeChange(QTreeWidgetItem* node) {
    std::string path;
    for (QTreeWidgetItem* item = node; item != nullptr && item->parent() != nullptr;
         item = item->parent())
        path = JoinPath(AnsiFromForm(item->text(0)), path);
    ProgFolderEdit->setText(FormText(path));
}

void TMainForm::InstallConfirmed() {
    // The search for a disk handles events while it waits for a mount: a
    // second Next then is not a second run.
    static bool running = false;
    if (running) return;
    running = true;
    struct Ran {
        ~Ran() { running = false; }
    } ran;
    // Disk 1 before anything is removed or created; exit at its prompt ends the
    // wizard with nothing changed.
    if (!LocateFirstDisk(SetupPars.Sources)) {
        SetupPars.NoExitConfirmation = true;
        close();
        return;
    }
    // A set that its digest file already shows to be wrong is not begun.
    const std::string wrongSet = volume::EarlySetFault(FirstDiskFolder);
    diag::Note("disk 1 in ", diag::Host{FirstDiskFolder}, ": first check of the set ",
               wrongSet.empty() ? "passed" : "failed: ", wrongSet);
    if (!wrongSet.empty()) throw EDamagedVolume(wrongSet);
    SetupPars.LongestStoredName = volume::LongestStoredName(FirstDiskFolder);
    // Restart is the finished page's choice: saved again there.
    SaveWizardAnswers(false);
    bool abandoned = false;
    bool copyingBegan = false;
    std::vector<std::string> warnings;
    TInstallResult result;
    try {
        result = RunInstallation(
            SetupPars,
            [&](TLogFile& log, const std::string& folder) {
                copyingBegan = true;
                // The copying uses the log only while the progress window is up; it
                // must not keep a pointer to it afterwards, whatever way this ends.
                TCopyingScope copying;
                copying.Into(log, folder).From(SetupPars.Sources);
                const FormInUse<TExtractForm> progress(ExtractForm);
                StandOver(&*progress, this);
                const int modalResult = progress->exec();
                abandoned = modalResult != CopyDone;
                return modalResult;
            },
            [&warnings](const std::string& warning) { warnings.push_back(warning); });
    } catch (...) {
        // Files are in place, but not what completes them (shortcuts, the
        // uninstall entry): the program's exit code must say so.
        if (copyingBegan) SetupPars.FailedPartWay = true;
        // Copying was abandoned and the log could not be closed cleanly: the
        // wizard closes without the question all the same, and the error is
        // shown afterwards.
        if (abandoned) {
            SetupPars.NoExitConfirmation = true;
            close();
        }
        throw;
    }
    if (result != TInstallResult::Abandoned) {
        // A shortcut that could not be made is named in the warnings.
        SetupPars.FailedPartWay = result == TInstallResult::ShortcutsMissing;
        for (const std::string& warning : warnings) {
            diag::Note("warning: ", warning);
            QMessageBox::warning(this, FormText(ApplicationTitle), FormText(warning));
        }
        ShowFinishedPage();
        return;
    }
    // Ended by the session (a signal) while copying: files are in place without
    // what completes them, and the program's exit code must say so.
    if (ExitForTheSession) SetupPars.FailedPartWay = true;
    SetupPars.NoExitConfirmation = true;
    close();
}

void TMainForm::ShowFinishedPage() {
    SetupPars.NoExitConfirmation = true;
    ShowPage(TWizardPage::Finished);
    RestartCheckbox->setChecked(true);
    activateWindow();  // back from the progress window
    FinishButton->setFocus(Qt::OtherFocusReason);
}

void TMainForm::FormCloseQuery(bool& canClose) {
    if (SetupPars.NoExitConfirmation) {
        canClose = true;
        return;
    }
    canClose = ConfirmExit();
    if (!canClose) activateWindow();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose) {
        event->ignore();
        return;
    }
    event->accept();
    emit Closed();
}
