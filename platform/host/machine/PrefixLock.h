// One Setup per prefix: an exclusive flock() on the prefix folder itself, held
// from a run's first check to its last write. The kernel drops it when the
// process ends, however it ends, and no file is made for it.
#pragma once

#include <filesystem>
#include <string>

class PrefixLock {
  public:
    explicit PrefixLock(std::filesystem::path folder);
    ~PrefixLock();
    PrefixLock(const PrefixLock&) = delete;
    PrefixLock& operator=(const PrefixLock&) = delete;

    // Takes the lock without waiting, or once more when it is held already
    // (each Take is matched by a Release). "" when taken, else the sentence that
    // refuses the run: another Setup holds it, with that process's number.
    std::string Take();
    void Release();
    bool Held() const { return count_ > 0; }
    // While held: "" when the prefix's path still names the folder that was
    // locked, else the sentence that stops the run (the folder was moved away,
    // replaced or removed, and another Setup may be changing the new one).
    std::string Lost() const;

    // The text for a prefix that another process has locked (pid 0: unknown).
    static std::string BusyText(long pid);

  private:
    std::filesystem::path folder_;
    int descriptor_ = -1;
    int count_ = 0;
};

// Wine's own rule for a prefix: a folder that exists must belong to the user
// who runs it, root included. "" when it does or does not exist yet, else
// Wine's words for the refusal ("'/tmp' is not owned by you").
std::string PrefixOwnershipRefusal(const std::filesystem::path& folder);
