// Builds a volume set from a folder: every regular file below it becomes one
// record, named by its path relative to the folder with backslashes, in
// Windows-1252. Empty files come first, then the others, each group in the
// byte order of the stored names, so that the same folder always gives the
// same set, and no empty file can fall behind the set's last data byte (where
// Setup, having copied the whole total, would not look for it).
//
// With a volume size, each volume file is at most that large: its data part is
// one byte smaller, for the next-volume byte. The total and every record header
// lie inside one data part: a header that would not fit starts the next volume.
// The last volume's next-volume byte is 0.
//
// Beside the volumes goes the digest file (Setup.sum, see extract/VolumeDigest.h):
// a new identity for the set, and each volume's size and digest, read back from
// the written volume.
//
// The volumes are written into a temporary folder inside the output folder and
// moved into place at the end, the digest file and then Setup.d01 last (an old
// Setup.d01 and digest file removed first), so that an interrupted build never
// leaves a set that looks whole.
// Source files are read in pieces, never whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/Exceptions.h"

struct BuildOptions {
    std::filesystem::path source;
    std::filesystem::path output;
    std::int64_t volumeSize = 0;  // whole volume files; 0: one volume
};

struct BuildResult {
    int volumes = 0;
    int files = 0;
    std::int64_t total = 0;
};

// A build that cannot be made, with the reason for the publisher.
class BuildError : public Exception {
  public:
    using Exception::Exception;
};

BuildResult BuildVolumeSet(const BuildOptions& options);
