// The byte format of a set of data volumes, shared by Setup's reader and the
// publisher's volume-set tool:
//
//   volume  = data part, then one next-volume byte (the number of the next volume)
//   stream  = the data parts of Setup.d01 and its successors, in next-volume order
//           = total (int32 LE: sum of all file sizes), then records back to back
//   record  = stored name (Windows-1252, backslash-separated, NUL-terminated),
//             size (int32 LE), then that many data bytes
//
// The total and every record header lie within one volume's data part; file
// data may run on into the next volume.
#pragma once

#include <cstdint>
#include <string>

namespace volume {

// The last byte of every volume: the number of the next one.
constexpr std::int64_t kNextVolumeByteSize = 1;
constexpr std::int64_t kTotalSize = 4;
constexpr std::int64_t kSizeFieldSize = 4;
// The volume sizes the tool knows by name (whole volume files).
constexpr std::int64_t kFloppyVolumeSize = 1474560;
constexpr std::int64_t kCdVolumeSize = 681984000;

// "Setup.d01", "Setup.d09", "Setup.d10", "Setup.d123".
std::string VolumeName(int number);
// The part behind "Setup.": "d01", "d10", "d123".
std::string VolumeSuffix(int number);
// True when a file name on a disk names the file `name` (a volume, the digest
// file), as disks show names: in any case, and with an ISO 9660 version
// suffix (";1") or none. "SETUP.D01;1" and "setup.d01" name "Setup.d01".
bool NamesFile(const std::string& onDisk, const std::string& name);

// Why a stored name may not be extracted, or an empty string when it may. A
// name must stay inside the installation folder: no ".." (or other dots-only)
// component, no leading backslash, drive or UNC prefix, no ':' or '/', no
// control character, no empty component, not empty.
std::string StoredNameFault(const std::string& name);
// The Windows path at which a stored name without fault is extracted into
// folder: the two joined by one backslash (none added after an empty folder or
// one that ends in a backslash, as after a drive root "C:\").
std::string StoredFileTarget(const std::string& folder, const std::string& storedName);

// The size of a record header on disk for a stored name.
inline std::int64_t HeaderSize(const std::string& name) {
    return static_cast<std::int64_t>(name.size()) + 1 + kSizeFieldSize;
}

// Little-endian 32-bit encoding of the total and the sizes, and its decoding
// from the four bytes as they stand in a volume.
std::string EncodeInt32(std::int32_t value);
std::int32_t DecodeInt32(const unsigned char (&bytes)[4]);

}  // namespace volume
