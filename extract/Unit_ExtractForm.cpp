#include "extract/Unit_ExtractForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include "dialogs/Unit_Constants.h"
#include "dialogs/Unit_ExitForm.h"
#include "dialogs/Unit_FormText.h"
#include "extract/Unit_ExtractThread.h"
#include "volumes/CopyResult.h"

TExtractPars ExtractPars;
bool ExtractAborted = false;
TExtractForm* ExtractForm = nullptr;

TExtractForm::TExtractForm(QWidget* parent) : QDialog(parent) {
    // Dialog border without border icons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(363, 153);
    QFont formFont("MS Sans Serif");
    formFont.setPixelSize(11);
    setFont(formFont);

    ExtractLabel = new QLabel(this);
    ExtractLabel->setObjectName("ExtractLabel");
    ExtractLabel->setGeometry(16, 16, 329, 49);
    ExtractLabel->setWordWrap(true);
    ExtractLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setGeometry(16, 72, 329, 16);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);

    CancelButton = new QPushButton(this);
    CancelButton->setObjectName("CancelButton");
    CancelButton->setGeometry(144, 112, 75, 25);
    connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });

    // A thread left paused when the program ends is released, not left waiting.
    if (QCoreApplication::instance() != nullptr)
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                [this] { DisposeThread(); });
    FormCreate();
}

TExtractForm::~TExtractForm() { DisposeThread(); }

void TExtractForm::FormCreate() {
    setWindowTitle(FormText(ExtractFormCaption));
    ExtractLabel->setText(FormText(ExtractLabelText));
    CancelButton->setText(FormText(CancelButtonCaption));
    // The progress bar moves by one per chunk (StepProgress).
}

void TExtractForm::FormShow() {
    DisposeThread();
    ExtractAborted = false;
    ProgressBar->setValue(0);
    auto* thread = new TExtractThread();
    thread_ = thread;
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

TExtractThread* TExtractForm::ExtractThread() const { return thread_.data(); }

void TExtractForm::DisposeThread() {
    if (!thread_) return;
    TExtractThread* thread = thread_;
    thread_ = nullptr;
    thread->Release();
    delete thread;
}

void TExtractForm::CancelButtonClick() { SetModalResult(CopyAborted); }

void TExtractForm::FormCloseQuery(bool& canClose) {
    if (ExtractAborted || result() != CopyAborted) {
        canClose = true;
        return;
    }
    TExtractThread* thread = thread_;
    if (thread) thread->Pause();
    canClose = ConfirmExit();
    if (!canClose && thread_) thread_->Resume();
}

void TExtractForm::FormClose() {
    if (result() == CopyAborted && thread_ && thread_->isRunning()) thread_->requestInterruption();
}

void TExtractForm::SetModalResult(int modalResult) { done(modalResult); }

void TExtractForm::done(int modalResult) {
    if (!isVisible()) {
        setResult(modalResult);
        return;
    }
    setResult(modalResult);
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose) {
        setResult(0);
        return;
    }
    FormClose();
    QDialog::done(modalResult);
}

void TExtractForm::reject() { CancelButtonClick(); }

void TExtractForm::showEvent(QShowEvent* event) {
    if (const QScreen* screen =
            this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TExtractForm::closeEvent(QCloseEvent* event) {
    // Closing by the system menu or Alt+F4 is a Cancel.
    event->ignore();
    CancelButtonClick();
}
