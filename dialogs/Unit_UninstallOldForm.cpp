#include "dialogs/Unit_UninstallOldForm.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <memory>

#include "dialogs/Unit_Constants.h"
#include "dialogs/Unit_FormText.h"
#include "dialogs/WindowParents.h"
#include "platform/Platform.h"

TUninstallOldForm* UninstallOldForm = nullptr;

namespace {
constexpr int ClientLeft = 192;
constexpr int ClientTop = 107;
constexpr int ClientWidth = 414;
constexpr int ClientHeight = 186;
}  // namespace

TUninstallOldForm::TUninstallOldForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName("UninstallOldForm");
    setModal(true);
    setFixedSize(ClientWidth, ClientHeight);
    move(ClientLeft, ClientTop);
    // The form's own small font: the text fills the label at this size. Where
    // "MS Sans Serif" is missing, a narrow sans-serif face stands in, as the
    // wider common faces would push the last line out of the label.
    QFont font("MS Sans Serif", 8);
    font.setStyleHint(QFont::SansSerif);
    font.setStretch(QFont::SemiCondensed);
    setFont(font);

    UninstallOldLabel = new QLabel(this);
    UninstallOldLabel->setObjectName("UninstallOldLabel");
    UninstallOldLabel->setGeometry(16, 16, 377, 113);
    UninstallOldLabel->setWordWrap(true);
    UninstallOldLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    YesButton = new QPushButton(this);
    YesButton->setObjectName("YesButton");
    YesButton->setGeometry(112, 144, 75, 25);
    YesButton->setDefault(true);
    YesButton->setAutoDefault(true);

    NoButton = new QPushButton(this);
    NoButton->setObjectName("NoButton");
    NoButton->setGeometry(216, 144, 75, 25);
    NoButton->setAutoDefault(false);

    setTabOrder(YesButton, NoButton);
    connect(YesButton, &QPushButton::clicked, this, &TUninstallOldForm::YesButtonClick);
    connect(NoButton, &QPushButton::clicked, this, &TUninstallOldForm::NoButtonClick);
    FormCreate();
}

void TUninstallOldForm::FormCreate() {
    setWindowTitle(FormText(UninstallOldFormCaption));
    YesButton->setText(FormText(YesButtonCaption));
    NoButton->setText(FormText(NoButtonCaption));
    UninstallOldLabel->setText(FormText(OldVersionText));
}

void TUninstallOldForm::YesButtonClick() { done(YesResult); }

void TUninstallOldForm::NoButtonClick() { done(NoResult); }

void TUninstallOldForm::reject() { done(NoResult); }

TUninstallCommand SplitUninstallCommand(const std::string& command) {
    TUninstallCommand split;
    std::size_t programEnd = std::string::npos;  // where the parameters' separator is
    if (!command.empty() && command.front() == '"') {
        const std::size_t closing = command.find('"', 1);
        if (closing != std::string::npos) {
            split.Program = command.substr(1, closing - 1);
            programEnd = closing + 1;
        }
    }
    if (programEnd == std::string::npos) {
        programEnd = command.find(' ');
        split.Program = command.substr(0, programEnd);
    }
    if (programEnd < command.size()) {
        // Skips the one blank that separates the parameters from the program.
        const std::size_t start = command[programEnd] == ' ' ? programEnd + 1 : programEnd;
        split.Parameters = command.substr(start);
    }
    const std::size_t lastBackslash = split.Program.rfind('\\');
    if (lastBackslash != std::string::npos)
        split.Folder = split.Program.substr(0, lastBackslash + 1);
    return split;
}

bool OfferOldVersionRemoval(const std::string& uninstallCommand, QWidget* owner) {
    // The program creates the form at start; without it a form lives for this question.
    std::unique_ptr<TUninstallOldForm> own;
    TUninstallOldForm* form = UninstallOldForm;
    if (form == nullptr) {
        own = std::make_unique<TUninstallOldForm>();
        form = own.get();
    }
    StandOver(form, owner != nullptr ? owner : OwnerWindow());
    if (form->exec() != TUninstallOldForm::YesResult) return false;
    const TUninstallCommand split = SplitUninstallCommand(uninstallCommand);
    Shell().ShellExecute(split.Program, split.Parameters, split.Folder);
    return true;
}
