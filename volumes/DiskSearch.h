// Where the disks of a volume set are: the source folders that Setup was given,
// and the search for each disk wherever Linux has mounted it.
//
// On Linux a process's working folder or an open file holds its file system
// mounted, and each disk may appear at a mount point of its own: one fstab
// mount point for a drive, or /media/$USER/<label> (/run/media/$USER/<label>)
// from the desktop's automounter. So Setup keeps its source folders as absolute
// host paths, opens every volume by its full path, and looks for volume N, in
// this order:
//
//   a. the folder where the previous disk was found, then the source folders;
//   b. sibling disk folders: next to the first disk's folder, a folder whose
//      name differs from it only in its number (Disk1 -> Disk2, CD01 -> CD02);
//   c. every mounted file system, at the relative folder that the first disk's
//      folder has inside its own file system (when that is not the one of "/");
//   d. the folders that the person chose at the disk prompt.
//
// A volume found by b or c is taken only when the digest file beside it names
// the set's identity; a set without a digest file is looked for in a and d only.
//
// Folders are host paths ('/', whatever bytes Linux allows in a name: GVFS
// mounts hold ':'); they never pass through the Windows names of the prefix's
// drives. The search itself touches nothing: what it asks of the machine (is
// the volume there, which set does the digest file name, the mount table) is
// handed in, so that the tests give it a machine of their own.
//
// No mount can hang the search. Each look into a folder runs on a worker
// thread of its own and is waited for at most kProbeLimit; a mount that does not
// answer in time (a stopped FUSE daemon, a dead network share) is passed over
// for the rest of the run, and named. Mounts that hold no disk are never looked
// into: pseudo file systems (proc, sysfs, cgroup ...) and automount points
// (looking would mount them). Network file systems are looked into last.
// While it waits the search calls WhileProbing, which keeps the caller
// answerable (the wizard's events, the signals).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "volumes/DiskFolder.h"

namespace disks {

// An absolute host path without "." and doubled and trailing slashes; ".."
// goes up one name, by the text (for paths resolved already; the source
// folders that a person names are resolved through the file system, in app/).
std::string NormalFolder(const std::string& folder);
// The mount point holding folder: the longest mount point that is folder or one
// of its parents ("/" when the table names none).
std::string MountOf(const std::string& folder, const std::vector<MountPoint>& mounts);
// folder's path inside its own file system: "" at the mount point itself.
std::string RelativeToMount(const std::string& folder, const std::vector<MountPoint>& mounts);
// The names of the sibling disk folders of a disk folder's name for disk
// number: "Disk1" gives "Disk2"; "CD01" gives "CD02" and "CD2"; a name without
// a number gives none.
std::vector<std::string> SiblingNames(const std::string& name, int number);

// Mounts that hold no disk and are never looked into: pseudo file systems, and
// automount points, which looking into would mount.
bool NeverProbed(const MountPoint& mount);
// Network file systems (NFS, SMB, sshfs, GVFS ...): looked into last.
bool OverNetwork(const MountPoint& mount);

// What the search asks of the machine. Each call may run on a worker thread
// and may never return (a hung mount): it must keep no state of its caller.
struct DiskProbe {
    // The folder holds volume number (Setup.d01 ...) as a file.
    std::function<bool(const std::string& folder, int number)> holdsVolume;
    // The set identity that the digest file in folder names; nothing when there
    // is none or it cannot be read.
    std::function<std::optional<std::string>(const std::string& folder)> setIdentity;
    // The mount table (read on the caller's thread: reading it never hangs).
    std::function<std::vector<MountPoint>()> mounts;
};

// How long a look into one folder is waited for.
constexpr std::chrono::milliseconds kProbeLimit{2000};

// Called again and again while a look into a folder is waited for, on the
// waiting thread: keeps the caller answerable. True stops the wait at once (the
// folder then counts as not holding the disk, and its mount is not passed over).
// Empty: the wait only sleeps.
extern std::function<bool()> WhileProbing;

class TDiskSearch {
  public:
    TDiskSearch() = default;
    explicit TDiskSearch(DiskProbe probe, std::chrono::milliseconds limit = kProbeLimit);

    // Starts the search of a new set from its source folders. The mounts that
    // did not answer stay passed over.
    void Start(const std::vector<std::string>& sources);
    // Disk 1 was found in folder; identity is the set's, from the digest file
    // beside it ("" for a set without one).
    void FirstDiskFound(const std::string& folder, const std::string& identity);
    // A later disk was found in folder: the next one is looked for there first.
    void DiskFound(const std::string& folder) { last_ = NormalFolder(folder); }
    // A folder the person chose: searched from now on (d).
    void AddFolder(const std::string& folder);

    // The folder that holds volume number, the first in the search order;
    // nothing when it is nowhere. Disk 1 before the run has a search of its
    // own: FindFirst.
    std::optional<std::string> Find(int number);
    // The folders that Find looks in for volume number, in its order.
    std::vector<std::string> Folders(int number) const;
    // Whether folder (one the person chose) holds volume number, looked into
    // within the limit as Find looks.
    bool HoldsVolume(const std::string& folder, int number);

    // Disk 1 of the set: the first source folder (or chosen one) that holds
    // Setup.d01; else the root and the sources' relative folders of every
    // mounted file system below /media, /run/media and /mnt, taken when exactly
    // one of them holds it. Nothing otherwise (none, or several that cannot be
    // told apart).
    std::optional<std::string> FindFirst();
    // The folders that FindFirst looks in, in its order.
    std::vector<std::string> FirstFolders() const;

    // Where volume number was looked for, in one readable sentence part: the
    // folders of the first places in full, the mounted file systems by their
    // first few mount points and how many more, and the mounts that did not
    // answer ("in /home/anna/Disk1, /home/anna/Disk2 and 498 mounted file
    // systems (/media/anna/A, /mnt/b, ... and 496 more); /mnt/net did not
    // answer and was passed over").
    std::string Searched(int number) const;

    // The mount points that did not answer in time, in the order they were met.
    std::vector<std::string> Unanswered() const;

    const std::vector<std::string>& Sources() const { return sources_; }
    const std::string& Identity() const { return identity_; }

  private:
    struct Candidate {
        std::string folder;
        bool sameSetOnly = false;  // found by b or c: the digest file must name the set
        bool onMount = false;      // found by c (or below /media ... for disk 1)
    };
    std::vector<Candidate> Candidates(int number, const std::vector<MountPoint>& mounts) const;
    std::vector<Candidate> FirstCandidates(const std::vector<MountPoint>& mounts) const;
    std::vector<MountPoint> Mounts() const;
    // The look into folder, on a worker within the limit: does it hold volume
    // number (and, with identity, does its digest file name the set). Nothing
    // when it did not answer in time, or WhileProbing stopped the wait.
    bool Holds(const std::string& folder, int number, bool identity,
               const std::vector<MountPoint>& mounts);
    static std::string Text(int number, const std::vector<Candidate>& candidates,
                            const std::vector<std::string>& unanswered);

    DiskProbe probe_;
    std::chrono::milliseconds limit_ = kProbeLimit;
    std::vector<std::string> sources_;
    std::vector<std::string> chosen_;
    std::string first_;
    std::string last_;
    std::string identity_;
    bool stopped_ = false;  // WhileProbing ended the search under way
    // The mount points that did not answer: copies of the search share them.
    std::shared_ptr<std::vector<std::string>> unanswered_ =
        std::make_shared<std::vector<std::string>>();
};

// The probe on the installed platform's host files and mount table. The digest
// file is read whole and closed again: nothing stays open.
DiskProbe MachineProbe();

}  // namespace disks
