// Disk images of a volume set for the publisher: one ISO 9660 image per volume,
// as the set's disks, written with libisofs. Image N holds Setup.dNN and a copy
// of the set's digest file (when the set has one) in its root, with Rock Ridge
// and Joliet names, so that Linux and Windows both read the names as they are;
// its volume label is LABEL_N. The images are named disk1.iso, disk2.iso ...;
// each is written under a temporary name and renamed into place when whole.
#pragma once

#include <filesystem>
#include <string>

// The label of the disks when none is given.
inline constexpr char kDefaultDiskLabel[] = "LINGORA";

// Why a label cannot name the disks (ISO 9660 volume labels hold A-Z, 0-9 and
// "_", at most 32 with the "_N" added); empty when it can.
std::string DiskLabelFault(const std::string& label);

// Writes the images of the volumes 1..count in volumes into folder (created
// when missing). Raises Exception with the reason when one cannot be written.
void WriteDiskImages(const std::filesystem::path& volumes, int count,
                     const std::filesystem::path& folder, const std::string& label);
