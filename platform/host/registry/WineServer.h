// A running wineserver keeps the registry of its prefix in memory and writes
// it over the files when it exits, so the files may only be changed while none
// runs. It shows itself by a POSIX write lock on the file "lock" in its server
// folder, <T>/server-<device>-<inode> of the prefix folder: <T> is
// /tmp/.wine-<uid> upstream, and on Debian ${TMPDIR:-/tmp}/<the name kept in
// the prefix's file "wineserver">.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

// The server folders that a wineserver of this prefix may use, the one that a
// wineserver started now would use first. Empty when the prefix folder is missing.
std::vector<std::filesystem::path> WineServerFolders(const std::filesystem::path& prefix);

// A running wineserver of this user whose prefix is this one, found among the
// processes in PROC (normally /proc) whatever temporary folder it was started
// with; 0 when there is none. Its prefix is its WINEPREFIX, else ~/.wine of its
// HOME, compared by device and inode; when its environment cannot be read, the
// server folder it works in (.../server-<device>-<inode>) decides, and when
// nothing can be read it counts as running on this prefix.
pid_t WineServerProcessOn(const std::filesystem::path& prefix,
                          const std::filesystem::path& proc = "/proc");

// Holds the lock of the prefix's server folders while the registry files are
// written, so that no wineserver starts meanwhile. Taking it fails when a
// wineserver (or another writer) holds one of them, or when a wineserver
// process runs on the prefix with a server folder elsewhere (another TMPDIR).
class WineServerLock {
  public:
    explicit WineServerLock(const std::filesystem::path& prefix);
    ~WineServerLock();
    WineServerLock(const WineServerLock&) = delete;
    WineServerLock& operator=(const WineServerLock&) = delete;

    bool Acquired() const { return acquired_; }
    pid_t Holder() const { return holder_; }  // the process that holds a lock, when known

  private:
    std::vector<int> fds_;
    bool acquired_ = false;
    pid_t holder_ = 0;
};
