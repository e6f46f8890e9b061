// The digest file of a volume set ("Setup.sum"), written by the volume-set tool
// beside the volumes and carried on every disk of the set, so that each disk can
// be checked on its own. The volume format itself has no checksum; this file
// lets Setup and the tool recognise a damaged volume, or one of another set with
// the same name, before its bytes are trusted.
//
// Plain text, lines ending in LF (CR LF is accepted):
//
//   Lingora Setup digests 1
//   set 5f0c2e8d9a4b17c3e6f01a2b3c4d5e6f
//   volumes 2
//   1 1474560 0b6a1f2e3d4c5b6a79881726354a5b6c
//   2 311297 9f8e7d6c5b4a39281706f5e4d3c2b1a0
//   longest 27
//
// The first line names the format and its version. "set" is the set's identity:
// 128 random bits in hex, new for every build. "volumes" is the number of
// volumes (1..255); then one line per volume, numbers 1, 2, 3 ... in order: its
// number, its size in bytes (the whole file, next-volume byte included) and the
// XXH3-128 digest of the whole file (32 lower-case hex digits, canonical byte
// order). "longest", which earlier files lack, is the length in bytes of the
// set's longest stored name, so that Setup knows before it copies whether the
// installation folder can hold every file.
//
// Reading it is bounded whatever the file holds: at most kMostDigestFileSize
// bytes are read, and anything that is not exactly the format above is refused
// with EDamagedDigestFile.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Exceptions.h"

class IFileStream;

namespace volume {

constexpr char kDigestFileName[] = "Setup.sum";
constexpr char kDigestFileHeading[] = "Lingora Setup digests 1";
constexpr int kMostVolumes = 255;  // the next-volume byte names at most volume 255
// Far more than 255 volume lines take; a larger file is refused unread.
constexpr std::int64_t kMostDigestFileSize = 64 * 1024;

struct VolumeDigest {
    int number = 0;
    std::int64_t size = 0;
    std::string digest;  // 32 lower-case hex digits
};

struct SetDigests {
    std::string identity;               // 32 lower-case hex digits
    std::vector<VolumeDigest> volumes;  // volumes[i] is volume i + 1
    std::optional<int> longestName;     // the longest stored name; unknown in earlier files

    // The entry of a volume, or null when the set has no such volume.
    const VolumeDigest* Find(int number) const;
};

// The digest file cannot be read as such: its message names the fault.
class EDamagedDigestFile : public Exception {
  public:
    using Exception::Exception;
    const char* ClassName() const override { return "EDamagedDigestFile"; }
};

// Parses the text of a digest file; EDamagedDigestFile at the first fault.
SetDigests ParseDigestFile(const std::string& text);
std::string FormatDigestFile(const SetDigests& set);

// Reads the digest file at path (by default the one in the current directory)
// through the platform's file system. Nothing when there is none;
// EDamagedDigestFile when it cannot be read or parsed.
std::optional<SetDigests> ReadDigestFile(const std::string& path = kDigestFileName);
// Reads the digest file in a host folder (a disk), found by its name as the
// disk shows it (disks::FileInFolder). As ReadDigestFile otherwise.
std::optional<SetDigests> ReadDigestFileIn(const std::string& hostFolder);

// Reads bytes into a buffer; fewer than asked only at the end (0 there).
using ReadBytes = std::function<std::size_t(void* buffer, std::size_t count)>;
// Asked between pieces: true when the digest is no longer wanted.
using StopRequested = std::function<bool()>;

// The XXH3-128 digest (32 hex digits) of everything read until the end, and the
// number of bytes read. Nothing when stop asked for the end first.
struct StreamDigest {
    std::string digest;
    std::int64_t size = 0;
};
std::optional<StreamDigest> DigestOf(const ReadBytes& read, const StopRequested& stop = {});
// The digest of a stream from its start to its end; the stream is left at its end.
std::optional<StreamDigest> DigestOf(IFileStream& stream, const StopRequested& stop = {});

// Why a volume does not match its entry in the set's digests ("its size is ...",
// "it is not part of the set"), or an empty string when it matches.
std::string VolumeMismatch(const SetDigests& set, int number, const StreamDigest& volume);

// What the digest file in the first disk's folder (a host path) already tells
// before anything is copied from it: "" when there is none or the set agrees
// with it, else why the set cannot be right: the first volume's size is not the one listed, or the
// total at its start is more than the listed volumes can hold (their data parts, less the total
// itself). EDamagedDigestFile for a digest file that cannot be read.
std::string EarlySetFault(const std::string& folder);

// The length of the set's longest stored name, read before anything is copied
// from the first disk's folder (a host path): from its digest file when that
// records it, else from the record headers that the first volume holds whole.
// 0 when neither tells anything. EDamagedDigestFile for a digest file that
// cannot be read.
int LongestStoredName(const std::string& folder);

// 128 random bits from the system's random source, as 32 hex digits.
std::string NewSetIdentity();

}  // namespace volume
