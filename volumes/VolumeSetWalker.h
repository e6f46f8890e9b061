// Walks a volume set as Setup reads it, starting from "Setup.d01" on its disks
// (host folders or disk images, never the current directory) and
// following the next-volume bytes, without writing anything: each record is
// checked as the copy checks it, file data is passed over, and the data must
// add up to the set's total. The platform must be installed.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

class TDataFile;

// The set-level rules of a walk over the volumes, shared by the copying and the
// walker below: the total at the start of the first volume, the chain of
// next-volume bytes (no volume twice, none after the end), and the count of data
// bytes against the total at the end. Each fault raises EDamagedVolume naming the
// volume and the offset.
class TVolumeSetWalk {
  public:
    // Reads the total from the start of the first volume.
    std::int32_t Start(TDataFile& first);
    std::int32_t Total() const { return total_; }
    // Reads the next-volume byte of a volume whose data part is used up and
    // returns the number of the volume that follows.
    int NextVolume(TDataFile& volume);
    // At the total: `done` data bytes read, `remaining` still owed to a file.
    void CheckEnd(TDataFile& last, std::int64_t done, std::int64_t remaining) const;

  private:
    std::int32_t total_ = 0;
    std::set<int> read_;
};

struct WalkedRecord {
    std::string name;  // as stored (Windows-1252)
    std::int32_t size = 0;
    std::string volume;  // the volume holding the header
    std::int64_t offset = 0;
};

struct WalkedSet {
    std::int32_t total = 0;
    int files = 0;
    int volumes = 0;
};

// Where a walk finds a file of the set by its own name ("Setup.d02"): the full
// name by which the platform's file system opens it.
using SetFileLocator = std::function<std::string(const std::string& name)>;
// The files of a set in one host folder.
SetFileLocator InSetFolder(const std::string& folder);
// The files of a set spread over disks (host folders or disk image files, as
// the file system reads both): each on the first disk that holds it; a name
// that none holds is named on the first.
SetFileLocator OnSetDisks(const std::vector<std::string>& disks);

// Raises EDamagedVolume (naming the volume and the offset) at the first fault,
// EFOpenError when Setup.d01 cannot be opened, and Exception when a volume that
// the set names is missing.
WalkedSet WalkVolumeSet(const std::function<void(const WalkedRecord&)>& onRecord,
                        const SetFileLocator& where);

// Checks each volume that the set's digest file lists against its size and
// digest, in the order of their numbers. Returns the number of volumes listed,
// or nothing when there is no digest file. Raises EDamagedDigestFile for a
// digest file that cannot be read, EDamagedVolume naming the first volume that
// does not match, and Exception for a listed volume that is missing.
std::optional<int> CheckVolumeDigests(const SetFileLocator& where);
