// The Wine prefix opened for one run of the program (the wizard, the
// unattended installation, the removal): the prefix that Wine itself would
// choose (WINEPREFIX, else ~/.wine), refused when Wine would refuse it, with the
// lock that keeps a second Setup off it installed as the runs' lock.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

class HostMachine;
class PrefixLock;

struct TPrefixForRunOptions {
    // The removal: a folder that holds no prefix has nothing to remove, and
    // none is laid down there.
    bool RequirePrefix = false;
    // The command line takes the lock before anything is laid down (making the
    // prefix's folder for it); the wizard lets its confirmed run take it, since
    // two wizards may be open.
    bool LockAtOnce = true;
};

// Why the prefix cannot be used; Code is the program's exit code.
struct TPrefixRefusal {
    int Code = 0;
    // A sentence without its full stop: Wine's refusal, or another Setup's lock.
    std::string Sentence;
    // The machine could not be opened (Code is ExitUsage): Sentence is the error's text.
    bool Unusable = false;
};

class TPrefixForRun {
  public:
    // Undoes what was laid down for a run that never began to change the
    // machine (the prefix, the folder made for the lock), then releases the lock.
    ~TPrefixForRun();
    TPrefixForRun(const TPrefixForRun&) = delete;
    TPrefixForRun& operator=(const TPrefixForRun&) = delete;

    HostMachine& Machine() { return *machine_; }

  private:
    friend std::unique_ptr<TPrefixForRun> OpenPrefixForRun(const TPrefixForRunOptions&,
                                                           TPrefixRefusal&);
    TPrefixForRun() = default;

    std::unique_ptr<PrefixLock> lock_;
    std::unique_ptr<HostMachine> machine_;
    std::filesystem::path madeFolder_;  // made for the lock: gone again if nothing follows
};

// Opens the prefix for a run; null, with refusal filled in, when it cannot be
// used. Nothing is left behind by a refusal.
std::unique_ptr<TPrefixForRun> OpenPrefixForRun(const TPrefixForRunOptions& options,
                                                TPrefixRefusal& refusal);
