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
// Folders are host paths (UTF-8, '/'). The search itself touches nothing: what
// it asks of the machine (is the volume there, which set does the digest file
// name, the mount table) is handed in, so that the tests give it a mount table
// of their own.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace disks {

// The source folders: the folder Setup was started in, or those named with
// --source, absolute. Set once at program start; when empty, the extraction
// takes the current folder as its only source.
extern std::vector<std::string> SourceFolders;

// The mount points of the table in /proc/self/mountinfo's text (the fifth field
// of each line, its octal escapes such as \040 undone), in the table's order.
std::vector<std::string> ParseMountInfo(const std::string& text);
// This process's mount table; empty when it cannot be read.
std::vector<std::string> ReadMountTable();

// folder + "/" + name, without doubling the slash at the root.
std::string JoinFolder(const std::string& folder, const std::string& name);
// An absolute host path without ".", ".." or doubled and trailing slashes.
std::string NormalFolder(const std::string& folder);
// The mount point holding folder: the longest mount point that is folder or one
// of its parents ("/" when the table names none).
std::string MountOf(const std::string& folder, const std::vector<std::string>& mounts);
// folder's path inside its own file system: "" at the mount point itself.
std::string RelativeToMount(const std::string& folder, const std::vector<std::string>& mounts);
// The names of the sibling disk folders of a disk folder's name for disk
// number: "Disk1" gives "Disk2"; "CD01" gives "CD02" and "CD2"; a name without
// a number gives none.
std::vector<std::string> SiblingNames(const std::string& name, int number);

// What the search asks of the machine.
struct DiskProbe {
    // The folder holds volume number (Setup.d01 ...) as a file.
    std::function<bool(const std::string& folder, int number)> holdsVolume;
    // The set identity that the digest file in folder names; nothing when there
    // is none or it cannot be read.
    std::function<std::optional<std::string>(const std::string& folder)> setIdentity;
    // The mount points, as ReadMountTable gives them.
    std::function<std::vector<std::string>()> mounts;
};

class TDiskSearch {
  public:
    TDiskSearch() = default;
    explicit TDiskSearch(DiskProbe probe) : probe_(std::move(probe)) {}

    // Starts the search of a new set from its source folders.
    void Start(const std::vector<std::string>& sources);
    // Disk 1 was found in folder; identity is the set's, from the digest file
    // beside it ("" for a set without one).
    void FirstDiskFound(const std::string& folder, const std::string& identity);
    // A later disk was found in folder: the next one is looked for there first.
    void DiskFound(const std::string& folder) { last_ = NormalFolder(folder); }
    // A folder the person chose: searched from now on (d).
    void AddFolder(const std::string& folder);

    // The folder that holds volume number, the first in the search order;
    // nothing when it is nowhere.
    std::optional<std::string> Find(int number) const;
    // The folders that Find looks in for volume number, in its order.
    std::vector<std::string> Folders(int number) const;

    const std::vector<std::string>& Sources() const { return sources_; }
    const std::string& FirstFolder() const { return first_; }
    const std::string& LastFolder() const { return last_; }
    const std::string& Identity() const { return identity_; }

  private:
    struct Candidate {
        std::string folder;
        bool sameSetOnly = false;  // found by b or c: the digest file must name the set
    };
    std::vector<Candidate> Candidates(int number) const;

    DiskProbe probe_;
    std::vector<std::string> sources_;
    std::vector<std::string> chosen_;
    std::string first_;
    std::string last_;
    std::string identity_;
};

// The name by which the installed platform's file system opens the file name
// in a host folder (on a Wine prefix, a Windows path through Z:).
std::string FileInFolder(const std::string& folder, const std::string& name);
// The probe on the installed platform's files and this process's mount table.
// The digest file is read whole and closed again: nothing stays open.
DiskProbe MachineProbe();

// Disk 1 of a set: the first source folder that holds Setup.d01; else the root
// and the sources' relative folders of every mounted file system below /media,
// /run/media and /mnt, taken when exactly one of them holds it. Nothing
// otherwise (none, or several that cannot be told apart).
std::optional<std::string> FindFirstDisk(const std::vector<std::string>& sources,
                                         const DiskProbe& probe);

}  // namespace disks
