// The progress window shown while the program files are copied. Showing it
// starts the extraction thread; the thread closes it with modal result 1 (all
// copied) or 2 (aborted at a disk change). Cancel (or Esc) asks the exit
// question while the thread is paused: Exit closes the window with result 2 and
// leaves the thread paused and told to terminate, Continue resumes the copying.
#pragma once

#include <QDialog>
#include <QPointer>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class TLogFile;
class TExtractThread;

// What the wizard hands to the copying: the open install log (not owned) and
// the installation folder.
struct TExtractPars {
    TLogFile* LogFile = nullptr;
    std::string TargetFolder;
    // The run's source folders (absolute host paths), where the disks are
    // looked for first; empty: the current folder.
    std::vector<std::string> Sources;
};
extern TExtractPars ExtractPars;
// Set by the thread when the user abandons the copying at a disk change.
extern bool ExtractAborted;

class TExtractForm : public QDialog {
    Q_OBJECT
  public:
    explicit TExtractForm(QWidget* parent = nullptr);
    // Disposes of a thread still running (a paused one is released and joined).
    ~TExtractForm() override;

    QLabel* ExtractLabel;
    QProgressBar* ProgressBar;
    QPushButton* CancelButton;

    void FormCreate();
    void FormShow();
    void CancelButtonClick();
    void FormCloseQuery(bool& canClose);
    void FormClose();

    // The window's modal result as the framework sets it: a non-zero result
    // closes the window when FormCloseQuery allows it. User-interface thread only.
    void SetModalResult(int modalResult);
    int ModalResult() const { return result(); }

    // The running thread, or null once it has ended.
    TExtractThread* ExtractThread() const;
    // Ends a running thread for good (a paused one runs no further step) and joins it.
    void DisposeThread();

    void done(int modalResult) override;
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QPointer<TExtractThread> thread_;
};

extern TExtractForm* ExtractForm;
