// The host's own folders outside the prefix's drives: the mount table, as
// /proc/self/mountinfo gives it, and the files in a folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace hostfiles {

// The mount points of mountinfo's text with their file-system types: the fifth
// field of each line (its octal escapes such as \040 undone) and the first one
// after the " - " separator, in the table's order. A mount point that is
// mounted over again is listed once, with the type of its last mount (the one
// that is seen there).
std::vector<MountPoint> ParseMountInfo(const std::string& text);
// This process's mount table; empty when it cannot be read.
std::vector<MountPoint> ReadMountTable();

// The names of the regular files (or links to them) in a host folder, or in a
// disk image file taken as a folder (and a folder inside one), in no order;
// nothing when the folder cannot be read.
std::optional<std::vector<std::string>> RegularFilesIn(const std::string& folder);

}  // namespace hostfiles
