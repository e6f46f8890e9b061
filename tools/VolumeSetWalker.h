// Walks a volume set as Setup reads it, starting from "Setup.d01" in the current
// directory and following the next-volume bytes, without writing anything: each
// record is checked as the copy checks it, file data is passed over, and the
// data must add up to the set's total. The platform must be installed.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

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

// Raises EDamagedVolume (naming the volume and the offset) at the first fault,
// EFOpenError when Setup.d01 cannot be opened, and Exception when a volume that
// the set names is missing.
WalkedSet WalkVolumeSet(const std::function<void(const WalkedRecord&)>& onRecord);

// Checks each volume that the digest file in the current directory lists
// against its size and digest, in the order of their numbers. Returns the number
// of volumes listed, or nothing when there is no digest file. Raises
// EDamagedDigestFile for a digest file that cannot be read, EDamagedVolume
// naming the first volume that does not match, and Exception for a listed
// volume that is missing.
std::optional<int> CheckVolumeDigests();
