// The extraction thread: copies every file out of the data volumes while the
// progress window is shown. The thread only sequences the work and does the
// chunk arithmetic; every step that touches a file, the log or a window runs on
// the user-interface thread while the thread waits for it (Synchronize).
//
// The total is split into chunks of TotalSize div 100 bytes (at least 1); the
// progress bar steps after every chunk that leaves bytes to copy. When a volume
// is used up, the next one is opened, and its disk asked for while it is missing.
//
// When the first volume has the set's digest file (Setup.sum) beside it, every
// volume is checked as soon as it is opened, before anything is copied from it:
// its size and digest must be those that file gives, and the digest file beside
// it must name the same set. The thread reads the volume for its digest while the
// user-interface thread is free; a volume that fails is closed again and its disk
// asked for with the damaged-disk prompt. Without a digest file nothing is
// checked and nothing is read twice.
//
// The volumes are opened by their full paths, never through the working folder
// (which would hold the disk mounted): disk 1 in the folder the copying starts
// from, every later disk where disks::TDiskSearch finds it (volumes/DiskSearch.h).
// No volume and no digest file is open while a prompt is shown.
//
// Pause/resume is a gate passed before each step; a step handed over just before
// a pause is held back until the resume, so no step runs while paused.
// Termination (requestInterruption) is read after each copy step. Release() ends
// a paused thread for good: it runs no further step and is joined.
#pragma once

#include <QThread>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TDataFile;
namespace disks {
class TDiskSearch;
}

// Unit state, touched only on the user-interface thread (inside the steps) and
// by the thread between steps, while the user-interface thread is not in one.
extern std::int32_t TotalSize;
extern std::unique_ptr<TDataFile> DataFile;
extern std::int32_t StepCopied;
extern std::int32_t ChunkLeft;
extern int NextDisk;
extern bool VolumeFound;
extern std::string VolumeSuffix;
// The number of the volume that DataFile reads (1 for Setup.d01).
extern int VolumeNumber;
// The first volume came with a digest file: every volume is checked.
extern bool CheckVolumes;
// Why the volume refused last (VolumeNumber) did not pass its check, for the
// unattended report.
extern std::string VolumeFault;
// The host folder of the volume that DataFile reads.
extern std::string VolumeFolder;
// The folder of disk 1 when the wizard has found it before the run; empty: the
// copying looks for it itself (TDiskSearch::FindFirst) when it starts.
extern std::string FirstDiskFolder;
// The search for the disks of the set being copied (and of disk 1 before it).
const disks::TDiskSearch& DiskSearch();
// File data copied so far in this extraction, counted by the thread after each
// copy step (the steps read it for their progress).
extern std::int64_t CopiedSize;

// Asked after each copy step, besides the thread's own interruption: true when
// the copying is to stop there as at Cancel (the unattended mode's signals).
// Empty in the wizard.
extern std::function<bool()> ExtractStopRequested;

// Observes each step as it starts on the user-interface thread ("CopyStep",
// "StepProgress" ...): for the tests and the benchmark; empty in Setup.
extern std::function<void(const char* step)> ExtractStepObserver;

// The disk that a disk prompt asks for, and how the prompt learns that it has
// come: by a newly mounted file system, or by a folder the person chose.
struct TDiskRequest {
    int number = 0;
    // Looks for the volume again; true when it is now there.
    std::function<bool()> present;
    // The person chose folder (a host path) with Browse: it is searched from
    // now on; true when it holds the volume.
    std::function<bool(const std::string& folder)> choose;
};
// The request of the prompt being shown by the copying; null otherwise.
extern const TDiskRequest* DiskRequest;

// What the copying shows and asks while it runs, on the user-interface thread:
// the progress window and its dialogs in the wizard, standard error unattended.
class IExtractView {
  public:
    virtual ~IExtractView() = default;
    // One more chunk of the total has been copied.
    virtual void StepProgress() = 0;
    // The next disk is missing: the disk prompt with its text. True for Cancel.
    virtual bool AskForDisk(const std::string& text) = 0;
    // The volume in the drive is damaged or of another set: the disk prompt with
    // the damaged-disk text. True for Cancel.
    virtual bool AskForDamagedDisk(const std::string& text) { return AskForDisk(text); }
    // After Cancel at the disk prompt: true when the copying is to be abandoned.
    virtual bool ConfirmAbandon() = 0;
    // The copying has ended: 1 when every file was copied, 2 when abandoned.
    virtual void Finish(int modalResult) = 0;
    // True once the copying is to stop (the person chose Exit, a signal came):
    // a search for a disk that is under way then gives up. Asked while the
    // search waits for a mount, again and again.
    virtual bool Stopping() { return false; }
};

// Where the steps report; null means the progress window (ExtractForm), with
// the disk prompt and the exit question.
extern IExtractView* ExtractView;

// Shows the disk prompt ("Change disk", question icon, OK, Cancel and, with a
// request, Browse...) after a question beep. While it is shown the mount table
// is watched: when the request's disk appears, the prompt closes as OK would.
// Browse opens the folder picker; a folder that holds the disk closes the
// prompt as OK would, any other is searched too and the prompt asks again.
// True when the user chose Cancel.
bool AskForDisk(const std::string& text, const TDiskRequest* request = nullptr);

// Before a run changes anything: finds disk 1 from the source folders
// (TDiskSearch::FindFirst), or asks for it with the disk prompt until it is
// there, and keeps its folder in FirstDiskFolder. Cancel asks the exit question;
// false when the person chose to exit there. User-interface thread only.
bool LocateFirstDisk(const std::vector<std::string>& sources);
// Disk 1 from the source folders, without asking (TDiskSearch::FindFirst of the
// one search that finds the later disks too); nothing when it is not found.
// DiskSearch().Searched(1) then says where it was looked for.
std::optional<std::string> FindFirstDisk(const std::vector<std::string>& sources);

class TExtractThread : public QThread {
    Q_OBJECT
  public:
    explicit TExtractThread(QObject* parent = nullptr);
    // Releases and joins a thread that is still running.
    ~TExtractThread() override;

    // The copying loop. On the user-interface thread itself the steps run directly.
    void Execute();

    // The steps, run on the user-interface thread.
    static void OpenFirstVolume();
    static void ReadTotal();
    static void CopyStep();
    static void NextVolume();
    static void RefuseVolume();
    static void StepProgress();
    static void FinishSet();
    static void SetDone();
    static void SetAborted();

    // User-interface thread only.
    void Pause();
    void Resume();
    // Ends a thread for good, paused or not: no further step runs. Keeps
    // delivering the steps the thread has handed over while it waits for it.
    void Release();

  protected:
    void run() override;

  private:
    void Synchronize(void (*step)(), const char* name);
    bool HeldBack();
    // Checks the volume just opened when the set has digests, asking again for
    // its disk while it fails. False when the copying is to end (abandoned at the
    // prompt, or the thread told to stop while it read the volume).
    bool AcceptVolume();
    // What the check of the open volume found.
    struct TVolumeCheck {
        enum class TResult {
            Passed,   // its digest file's entry matches it (or the set has none)
            Refused,  // Fault says why
            Stopped,  // the thread was told to stop while it read the volume
        };
        TResult Result = TResult::Passed;
        std::string Fault;

        // Passed when there is no fault, else Refused with it.
        static TVolumeCheck Of(std::string fault);
    };
    TVolumeCheck CheckVolume();
    bool StopWanted();

    std::mutex mutex_;
    std::condition_variable gate_;
    bool paused_ = false;
    bool released_ = false;
};

// Runs work on the user-interface thread and waits for it; directly when called
// there. An exception thrown by the work is carried back and rethrown here.
void RunOnUserInterfaceThread(const std::function<void()>& work);
