#include "extract/Unit_ExtractThread.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSocketNotifier>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <utility>

#include "dialogs/ErrorReport.h"
#include "dialogs/Unit_Constants.h"
#include "dialogs/Unit_ExitForm.h"
#include "dialogs/Unit_FormText.h"
#include "dialogs/WindowParents.h"
#include "extract/Unit_ExtractForm.h"
#include "installlog/Unit_Logfile.h"
#include "platform/DiagnosticLog.h"
#include "platform/Exceptions.h"
#include "platform/ExitCodes.h"
#include "platform/Platform.h"
#include "platform/WinTypes.h"
#include "volumes/CopyResult.h"
#include "volumes/DiskSearch.h"
#include "volumes/Unit_DataFile.h"
#include "volumes/VolumeSetWalker.h"

#if defined(__SANITIZE_THREAD__) || defined(SETUP_TSAN)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
// Qt's blocking queued call synchronises inside Qt, which ThreadSanitizer does
// not see; these mark the hand-over in both directions.
#define SETUP_TSAN_ACQUIRE(address) __tsan_acquire(address)
#define SETUP_TSAN_RELEASE(address) __tsan_release(address)
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\nrace:libQt6Gui.so\nrace:libQt6Widgets.so\n"
           "called_from_lib:libQt6Core.so\ncalled_from_lib:libQt6Gui.so\n"
           "called_from_lib:libQt6Widgets.so\ndeadlock:libQt6Core.so\n";
}
#else
#define SETUP_TSAN_ACQUIRE(address) ((void)(address))
#define SETUP_TSAN_RELEASE(address) ((void)(address))
#endif

std::int32_t TotalSize = 0;
std::unique_ptr<TDataFile> DataFile;
std::int32_t StepCopied = 0;
std::int32_t ChunkLeft = 0;
int NextDisk = 0;
bool VolumeFound = false;
std::string VolumeSuffix;
int VolumeNumber = 0;
bool CheckVolumes = false;
std::string VolumeFault;
std::int64_t CopiedSize = 0;
std::string VolumeFolder;
std::string FirstDiskFolder;
std::function<void(const char*)> ExtractStepObserver;
std::function<bool()> ExtractStopRequested;
IExtractView* ExtractView = nullptr;
const TDiskRequest* DiskRequest = nullptr;

namespace {
// The volumes read so far in this extraction: a next-volume byte that points
// back to one of them (or to 0) means the set ends before its total.
TVolumeSetWalk setWalk;
// The digests of the set, from the digest file seen with the first volume.
std::optional<volume::SetDigests> setDigests;
char handOver;  // the address the hand-over annotations name
// Where the disks of the set are looked for.
disks::TDiskSearch diskSearch(disks::MachineProbe());

// Ends the extraction of a paused thread that was released.
struct ExtractionReleased {};

bool OnUserInterfaceThread() {
    return QCoreApplication::instance() == nullptr ||
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

// The progress window as the copying's view.
class FormView : public IExtractView {
  public:
    void StepProgress() override {
        QProgressBar* bar = ExtractForm->ProgressBar;
        // The bar stays full rather than start over when a small total takes more
        // chunks than the bar has steps.
        bar->setValue(std::min(bar->maximum(), bar->value() + 1));
    }
    bool AskForDisk(const std::string& text) override { return ::AskForDisk(text, DiskRequest); }
    bool AskForDamagedDisk(const std::string& text) override {
        return ::AskForDisk(text, DiskRequest);
    }
    bool ConfirmAbandon() override { return ConfirmExit(); }
    void Finish(int modalResult) override { ExtractForm->SetModalResult(modalResult); }
    bool Stopping() override {
        const TExtractThread* thread =
            ExtractForm != nullptr ? ExtractForm->ExtractThread() : nullptr;
        return ExitForTheSession || (thread != nullptr && thread->isInterruptionRequested());
    }
};

IExtractView& View() {
    static FormView form;
    return ExtractView != nullptr ? *ExtractView : form;
}

// The disk prompt's text with the disk's number.
std::string DiskText(const char* text, int number) {
    std::string result = text;
    const std::string digits = std::to_string(number);
    for (std::size_t at = result.find("%dn%"); at != std::string::npos;
         at = result.find("%dn%", at + digits.size()))
        result.replace(at, 4, digits);
    return result;
}

// The source folders of a run as it gives them; the current folder when it
// gives none (a copying started without the program's start, as the tests do).
std::vector<std::string> Sources(const std::vector<std::string>& given) {
    if (!given.empty()) return given;
    std::error_code failed;
    const std::filesystem::path current = std::filesystem::current_path(failed);
    return {failed ? std::string("/") : current.string()};
}

// While the search waits for a mount, the wizard's events are handled (Cancel,
// Esc, the signals' notifier) and the search gives up once the copying stops.
bool KeepAnswerable() {
    if (QCoreApplication::instance() != nullptr && OnUserInterfaceThread())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return View().Stopping() || (ExtractStopRequested && ExtractStopRequested());
}
void MakeSearchAnswerable() { disks::WhileProbing = KeepAnswerable; }

// Each extracted file's name goes to the install log (when there is one)
// before the file is created.
TDataFile::FileStarting LogLineOf(TLogFile* log) {
    if (log == nullptr) return {};
    return [log](const std::string& storedName) { log->WriteLine(storedName); };
}

// Opens volume number in folder as DataFile; the next disk is looked for there first.
void OpenVolume(int number, const std::string& folder) {
    const std::string name = VolumeName(number);
    const std::string path =
        disks::FileInFolder(folder, name).value_or(disks::JoinFolder(folder, name));
    DataFile = std::make_unique<TDataFile>(
        TDataFile::HostPath{path}, LogLineOf(ExtractPars.LogFile), ExtractPars.TargetFolder);
    VolumeNumber = number;
    VolumeFolder = disks::NormalFolder(folder);
    diag::Note("opened volume ", VolumeName(number), " in ", diag::Host{VolumeFolder}, " (",
               DataFile->Size(), " bytes)");
    if (number == 1)
        diskSearch.FirstDiskFound(VolumeFolder, diskSearch.Identity());
    else
        diskSearch.DiskFound(VolumeFolder);
}

// Asks for the disk of volume number with the text given until find gives its
// folder, or the person confirms the exit (nothing then). The first question
// uses text, those after an OK without the volume the disk prompt. A folder
// chosen with Browse that holds the volume is taken at once; any other is
// searched from then on. While the prompt is up, nothing of the set is open.
std::optional<std::string> AskUntilThere(int number, const char* text, bool damaged,
                                         const std::function<std::optional<std::string>()>& find) {
    std::string chosen;
    TDiskRequest request;
    request.number = number;
    request.present = [&find] { return find().has_value(); };
    request.choose = [number, &chosen](const std::string& folder) {
        diskSearch.AddFolder(folder);
        if (!diskSearch.HoldsVolume(folder, number)) return false;
        chosen = disks::NormalFolder(folder);
        return true;
    };
    while (true) {
        const std::string question = DiskText(text, number);
        chosen.clear();
        DiskRequest = &request;
        const bool cancelled =
            damaged ? View().AskForDamagedDisk(question) : View().AskForDisk(question);
        DiskRequest = nullptr;
        if (View().Stopping()) return std::nullopt;
        if (!cancelled) {
            // A folder chosen with Browse goes first: the person pointed at it.
            if (!chosen.empty()) return chosen;
            if (std::optional<std::string> folder = find()) return folder;
            if (View().Stopping()) return std::nullopt;
            text = InsertDiskText;
            damaged = false;
        } else if (View().ConfirmAbandon()) {
            return std::nullopt;
        }
    }
}

// Asks for the disk of a volume until it is there (opened as DataFile) or the
// user confirms the exit (ExtractAborted).
void WaitForVolume(int number, const char* firstText, bool damaged) {
    VolumeFound = false;
    const std::optional<std::string> folder =
        AskUntilThere(number, firstText, damaged, [number] { return diskSearch.Find(number); });
    if (!folder) {
        ExtractAborted = true;
        return;
    }
    VolumeFound = true;
    OpenVolume(number, *folder);
}

// Watches the mount table while a prompt is shown: /proc/self/mountinfo wakes a
// poll for POLLPRI (with POLLERR) at every mount and unmount.
class MountWatch {
  public:
    explicit MountWatch(std::function<void()> changed) {
        fd_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) return;
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Exception);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                         [this, changed = std::move(changed)] {
                             // Reading the table from its start takes the change in.
                             char buffer[4096];
                             ::lseek(fd_, 0, SEEK_SET);
                             while (::read(fd_, buffer, sizeof buffer) > 0) {
                             }
                             changed();
                         });
    }
    ~MountWatch() {
        notifier_.reset();
        if (fd_ >= 0) ::close(fd_);
    }
    MountWatch(const MountWatch&) = delete;
    MountWatch& operator=(const MountWatch&) = delete;

  private:
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

void ObserveStep(const char* name) {
    if (ExtractStepObserver) ExtractStepObserver(name);
}

// Closes the volume and the file being written, after the copying ended early.
void CloseVolumeAndFile() {
    DataFile.reset();
    ResetOutFile();
}

// Closes what the copying holds open: the volume, the file being written and
// the install log, which gets its final line. Nothing here may stop the report.
void CloseAfterFailure() {
    CloseVolumeAndFile();
    try {
        if (ExtractPars.LogFile != nullptr && ExtractPars.LogFile->IsOpen())
            ExtractPars.LogFile->Close();
    } catch (...) {
        // The report that follows names the error that ended the copying; a
        // log that cannot be closed keeps the lines it has already written.
    }
}

// With windows the fatal error report ends the program; without them (a copy on
// the command line) the message goes to standard error.
void EndAfterFailure(const std::exception& error) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr)
        FatalErrorReport(error);
    std::fprintf(stderr, "lingora-setup: %s\n", error.what());
    std::_Exit(ExitFailedPartWay);
}

// Ends the program after a failed step, on the user-interface thread.
void ReportFatalError(std::exception_ptr error) {
    RunOnUserInterfaceThread([error] {
        CloseAfterFailure();
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            EndAfterFailure(e);
        } catch (...) {
            EndAfterFailure(Exception("Unknown error in the copying"));
        }
    });
}
}  // namespace

const disks::TDiskSearch& DiskSearch() { return diskSearch; }

void RunOnUserInterfaceThread(const std::function<void()>& work) {
    if (OnUserInterfaceThread()) {
        work();
        return;
    }
    std::exception_ptr error;
    SETUP_TSAN_RELEASE(&handOver);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&work, &error] {
            SETUP_TSAN_ACQUIRE(&handOver);
            // Nothing may reach Qt's event loop: the error goes back to the thread.
            try {
                work();
            } catch (...) {
                error = std::current_exception();
            }
            SETUP_TSAN_RELEASE(&handOver);
        },
        Qt::BlockingQueuedConnection);
    SETUP_TSAN_ACQUIRE(&handOver);
    if (error) std::rethrow_exception(error);
}

// The picker of the disk prompt's Browse: a folder, or a disk image file,
// which Setup reads as a disk without mounting it. A folder is chosen as
// Qt's folder picker chooses one; a file is taken as it is clicked.
class DiskPicker : public QFileDialog {
  public:
    DiskPicker(QWidget* owner, const QString& title) : QFileDialog(owner, title) {
        setObjectName("DiskFolderDialog");
        setOption(QFileDialog::DontUseNativeDialog);
        setFileMode(QFileDialog::Directory);  // shows the files beside the folders
        setNameFilter(FormText(DiskPickerFilter));
        // The folder picker offers its button for folders only; an image file
        // selected is a disk too. Qt sets the button whenever the name field
        // changes, through a connection made before this one.
        if (auto* name = findChild<QLineEdit*>("fileNameEdit"))
            connect(name, &QLineEdit::textChanged, this, [this] { OfferImage(); });
        connect(this, &QFileDialog::currentChanged, this, [this] { OfferImage(); });
    }

    void OfferImage() {
        const QStringList chosen = selectedFiles();
        if (chosen.isEmpty() || !QFileInfo(chosen.front()).isFile()) return;
        if (auto* buttons = findChild<QDialogButtonBox*>())
            if (QPushButton* choose = buttons->button(QDialogButtonBox::Open))
                choose->setEnabled(true);
    }

    void accept() override {
        const QStringList chosen = selectedFiles();
        if (!chosen.isEmpty() && QFileInfo(chosen.front()).isFile()) {
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }
};

bool AskForDisk(const std::string& text, const TDiskRequest* request) {
    QMessageBox box(QMessageBox::Question, FormText(ChangeDiskCaption), FormText(text),
                    QMessageBox::NoButton, OwnerWindow());
    box.setObjectName("ChangeDiskBox");
    QPushButton* ok = box.addButton(FormText(OkButtonCaption), QMessageBox::AcceptRole);
    QPushButton* browse =
        request != nullptr && request->choose
            ? box.addButton(FormText(BrowseDiskButtonCaption), QMessageBox::ActionRole)
            : nullptr;
    QPushButton* cancel = box.addButton(FormText(CancelButtonCaption), QMessageBox::RejectRole);
    if (browse != nullptr) browse->setObjectName("BrowseDiskButton");
    box.setDefaultButton(ok);
    box.setEscapeButton(cancel);
    bool arrived = false;
    // The search handles events while it waits for a mount: a change of the
    // table meanwhile is taken in by the search under way.
    bool looking = false;
    std::unique_ptr<MountWatch> watch;
    if (request != nullptr && request->present)
        watch = std::make_unique<MountWatch>([&box, &arrived, &looking, request] {
            if (arrived || looking || !box.isVisible()) return;
            looking = true;
            const bool present = request->present();
            looking = false;
            if (present && box.isVisible()) {
                arrived = true;
                box.done(QDialog::Accepted);
            }
        });
    WindowServices().MessageBeep(win::MB_ICONQUESTION);
    while (true) {
        box.exec();
        if (arrived) return false;
        if (browse == nullptr || box.clickedButton() != browse)
            return box.clickedButton() == cancel;
        DiskPicker picker(OwnerWindow(),
                          FormText(DiskText(DiskFolderDialogTitle, request->number)));
        if (picker.exec() == QDialog::Accepted && !picker.selectedFiles().isEmpty() &&
            request->choose(QFile::encodeName(picker.selectedFiles().front()).toStdString()))
            return false;
    }
}

std::optional<std::string> FindFirstDisk(const std::vector<std::string>& sources) {
    MakeSearchAnswerable();
    diskSearch.Start(Sources(sources));
    return diskSearch.FindFirst();
}

bool LocateFirstDisk(const std::vector<std::string>& sources) {
    FirstDiskFolder.clear();
    std::optional<std::string> found = FindFirstDisk(sources);
    if (!found && !View().Stopping())
        found = AskUntilThere(1, InsertDiskText, false, [] { return diskSearch.FindFirst(); });
    if (!found) return false;
    FirstDiskFolder = *found;
    return true;
}

TExtractThread::TExtractThread(QObject* parent) : QThread(parent) {}

TExtractThread::~TExtractThread() {
    if (isRunning()) Release();
}

void TExtractThread::OpenFirstVolume() {
    ResetOutFile();
    DataFile.reset();
    setDigests.reset();
    VolumeFault.clear();
    ExtractPars.LogFile->StartProgramFiles();
    ExtractPars.LogFile->WriteLine("Lingohlp.GID");
    MakeSearchAnswerable();
    const std::vector<std::string> sources = Sources(ExtractPars.Sources);
    diskSearch.Start(sources);
    // Where disk 1 is not, it is opened in the first source folder all the same,
    // and its absence reported as the volume that cannot be opened.
    // The wizard's find is used once: a later copying looks again.
    const std::string located = std::exchange(FirstDiskFolder, std::string());
    const std::string folder =
        !located.empty() ? located : diskSearch.FindFirst().value_or(sources.front());
    CheckVolumes = disks::FileInFolder(folder, volume::kDigestFileName).has_value();
    OpenVolume(1, folder);
    // A volume that is checked is read only once it has passed.
    if (!CheckVolumes) ReadTotal();
}

void TExtractThread::ReadTotal() { TotalSize = setWalk.Start(*DataFile); }

void TExtractThread::CopyStep() { DataFile->CopyChunk(ChunkLeft, StepCopied); }

void TExtractThread::NextVolume() {
    NextDisk = setWalk.NextVolume(*DataFile);
    DataFile.reset();
    VolumeSuffix = volume::VolumeSuffix(NextDisk);
    const std::optional<std::string> folder = diskSearch.Find(NextDisk);
    VolumeFound = folder.has_value();
    if (!VolumeFound && View().Stopping()) {
        ExtractAborted = true;
        return;
    }
    if (!VolumeFound) {
        WaitForVolume(NextDisk, InsertDiskText, false);
        return;
    }
    OpenVolume(NextDisk, *folder);
}

void TExtractThread::RefuseVolume() {
    DataFile.reset();
    WaitForVolume(VolumeNumber, DamagedDiskText, true);
}

void TExtractThread::StepProgress() { View().StepProgress(); }

void TExtractThread::FinishSet() {
    setWalk.CheckEnd(*DataFile, CopiedSize, OutFileRemaining);
    // Empty files may follow the last data byte; anything else is more data than
    // the total allows.
    DataFile->FinishEmptyFiles();
}

void TExtractThread::SetDone() {
    DataFile.reset();
    View().Finish(CopyDone);
}

void TExtractThread::SetAborted() {
    CloseVolumeAndFile();
    View().Finish(CopyAborted);
}

void TExtractThread::Pause() {
    std::lock_guard<std::mutex> lock(mutex_);
    paused_ = true;
}

void TExtractThread::Resume() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        paused_ = false;
    }
    gate_.notify_all();
}

bool TExtractThread::HeldBack() {
    std::lock_guard<std::mutex> lock(mutex_);
    return paused_ || released_;
}

void TExtractThread::Release() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
    }
    gate_.notify_all();
    if (QThread::currentThread() == this) return;
    // The thread may be waiting for a step it handed over: deliver it (it is held
    // back and comes back unrun) until the thread has ended.
    while (!wait(QDeadlineTimer(10))) QCoreApplication::sendPostedEvents();
}

void TExtractThread::Synchronize(void (*step)(), const char* name) {
    if (OnUserInterfaceThread()) {
        ObserveStep(name);
        step();
        return;
    }
    while (true) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            gate_.wait(lock, [this] { return !paused_ || released_; });
            if (released_) throw ExtractionReleased();
        }
        bool ran = false;
        RunOnUserInterfaceThread([&] {
            if (HeldBack()) return;  // paused after the step was handed over
            ran = true;
            ObserveStep(name);
            step();
        });
        if (ran) return;
    }
}

bool TExtractThread::StopWanted() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (released_) return true;
    }
    return isInterruptionRequested();
}

TExtractThread::TVolumeCheck TExtractThread::TVolumeCheck::Of(std::string fault) {
    if (fault.empty()) return {};
    return {TResult::Refused, std::move(fault)};
}

TExtractThread::TVolumeCheck TExtractThread::CheckVolume() {
    std::optional<volume::SetDigests> here;
    try {
        here = volume::ReadDigestFileIn(VolumeFolder);
    } catch (const volume::EDamagedDigestFile& damaged) {
        return TVolumeCheck::Of(damaged.what());
    }
    if (VolumeNumber == 1) {
        // The first volume names the set; without a digest file beside it now
        // (another disk 1 was inserted), the set is one without digests.
        setDigests = here;
        diskSearch.FirstDiskFound(VolumeFolder, setDigests ? setDigests->identity : "");
        if (!setDigests) {
            CheckVolumes = false;
            return {};
        }
    } else if (!here) {
        return TVolumeCheck::Of(std::string("there is no digest file ") + volume::kDigestFileName +
                                " beside it");
    } else if (here->identity != setDigests->identity) {
        return TVolumeCheck::Of("its digest file names the set " + here->identity + ", not " +
                                setDigests->identity);
    }
    const volume::VolumeDigest* entry = setDigests->Find(VolumeNumber);
    // Size first: a volume of the wrong size is refused without being read.
    if (entry == nullptr || entry->size != DataFile->Size())
        return TVolumeCheck::Of(
            volume::VolumeMismatch(*setDigests, VolumeNumber, {"", DataFile->Size()}));
    const std::optional<volume::StreamDigest> digest =
        DataFile->Digest([this] { return StopWanted(); });
    if (!digest) return {TVolumeCheck::TResult::Stopped, {}};
    return TVolumeCheck::Of(volume::VolumeMismatch(*setDigests, VolumeNumber, *digest));
}

bool TExtractThread::AcceptVolume() {
    if (!CheckVolumes) return true;
    while (true) {
        const TVolumeCheck check = CheckVolume();
        if (check.Result == TVolumeCheck::TResult::Stopped) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (released_) throw ExtractionReleased();
            return false;
        }
        if (check.Result == TVolumeCheck::TResult::Passed) {
            diag::Note("volume ", VolumeNumber, ": size and digest match the digest file");
            return true;
        }
        diag::Note("volume ", VolumeNumber, " in ", diag::Host{VolumeFolder}, ": refused, ",
                   check.Fault);
        VolumeFault = check.Fault;
        Synchronize(RefuseVolume, "RefuseVolume");
        if (!VolumeFound) return false;
    }
}

void TExtractThread::run() { Execute(); }

void TExtractThread::Execute() {
    try {
        Synchronize(OpenFirstVolume, "OpenFirstVolume");
        // A volume to be checked is read only once it has passed (another disk 1
        // may then turn out to have no digest file: its total is still to be read).
        const bool totalRead = !CheckVolumes;
        if (!AcceptVolume()) {
            Synchronize(SetAborted, "SetAborted");
            return;
        }
        if (!totalRead) Synchronize(ReadTotal, "ReadTotal");
        // Chunks of at least one byte, so that a total below 100 still progresses.
        const std::int32_t chunkSize = std::max<std::int32_t>(1, TotalSize / 100);
        std::int64_t done = 0;
        CopiedSize = 0;
        // One copy step and its count; false when the thread was told to stop.
        const auto copy = [&] {
            Synchronize(CopyStep, "CopyStep");
            if (isInterruptionRequested() || (ExtractStopRequested && ExtractStopRequested()))
                return false;
            ChunkLeft -= StepCopied;
            done += StepCopied;
            CopiedSize = done;
            return true;
        };
        while (done < TotalSize) {
            ChunkLeft = chunkSize;
            if (!copy()) {
                Synchronize(SetAborted, "SetAborted");
                return;
            }
            // The volume ran out inside the chunk (or ended exactly with it).
            while (ChunkLeft > 0 && done < TotalSize) {
                Synchronize(NextVolume, "NextVolume");
                if (!VolumeFound || !AcceptVolume() || !copy()) {
                    Synchronize(SetAborted, "SetAborted");
                    return;
                }
            }
            if (done < TotalSize) Synchronize(StepProgress, "StepProgress");
        }
        CopiedSize = done;
        Synchronize(FinishSet, "FinishSet");
        Synchronize(SetDone, "SetDone");
    } catch (const ExtractionReleased&) {
        // Released while paused at program end: nothing more is done.
    } catch (...) {
        if (OnUserInterfaceThread()) {
            // The caller gets the error; what the copying holds open is closed.
            CloseVolumeAndFile();
            throw;
        }
        try {
            ReportFatalError(std::current_exception());
        } catch (...) {
            // The report ends the program; it comes back only when a test stops it.
        }
    }
}
