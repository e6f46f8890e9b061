// The extraction thread: copies every file out of the data volumes while the
// progress window is shown. The thread only sequences the work and does the
// chunk arithmetic; every step that touches a file, the log or a window runs on
// the user-interface thread while the thread waits for it (Synchronize).
//
// The total is split into chunks of TotalSize div 100 bytes (at least 1); the
// progress bar steps after every chunk that leaves bytes to copy. When a volume
// is used up, the next one is opened, and its disk asked for while it is missing.
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
#include <string>

class TDataFile;

// Unit state, touched only on the user-interface thread (inside the steps) and
// by the thread between steps, while the user-interface thread is not in one.
extern std::int32_t TotalSize;
extern std::unique_ptr<TDataFile> DataFile;
extern std::int32_t StepCopied;
extern std::int32_t ChunkLeft;
extern int NextDisk;
extern bool VolumeFound;
extern std::string VolumeSuffix;
// File data copied so far in this extraction, counted by the thread after each
// copy step (the steps read it for their progress).
extern std::int64_t CopiedSize;

// Observes each step as it starts on the user-interface thread ("CopyStep",
// "StepProgress" ...): for the tests and the benchmark; empty in Setup.
extern std::function<void(const char* step)> ExtractStepObserver;

// Ends the program when a copying step has failed. Called on the user-interface
// thread once the volume, the file being written and the install log are closed
// (the log with its final line). The application installs its fatal error report
// here at start; without one the error goes to standard error and the program
// ends with exit code 1.
extern std::function<void(const std::exception& error)> ExtractFailed;

// What the copying shows and asks while it runs, on the user-interface thread:
// the progress window and its dialogs in the wizard, standard error unattended.
class IExtractView {
  public:
    virtual ~IExtractView() = default;
    // One more chunk of the total has been copied.
    virtual void StepProgress() = 0;
    // The next disk is missing: the disk prompt with its text. True for Cancel.
    virtual bool AskForDisk(const std::string& text) = 0;
    // After Cancel at the disk prompt: true when the copying is to be abandoned.
    virtual bool ConfirmAbandon() = 0;
    // The copying has ended: 1 when every file was copied, 2 when abandoned.
    virtual void Finish(int modalResult) = 0;
};

// Where the steps report; null means the progress window (ExtractForm), with
// the disk prompt and the exit question.
extern IExtractView* ExtractView;

// Shows the disk prompt ("Change disk", question icon, OK and Cancel) after a
// question beep. True when the user chose Cancel.
bool AskForDisk(const std::string& text);

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
    static void CopyStep();
    static void NextVolume();
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

    std::mutex mutex_;
    std::condition_variable gate_;
    bool paused_ = false;
    bool released_ = false;
};

// Runs work on the user-interface thread and waits for it; directly when called
// there. An exception thrown by the work is carried back and rethrown here.
void RunOnUserInterfaceThread(const std::function<void()>& work);
