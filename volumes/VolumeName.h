// The names of a set's volumes as a disk shows them: "Setup.d01", "SETUP.D02;1".
#pragma once

#include <optional>
#include <string>

namespace volume {

// The number of the volume that a file name on a disk names, or nothing when it
// names none. A volume's name is the one VolumeName gives (the number 1 to 255,
// two digits at least: "Setup.d01", "Setup.d10", "Setup.d255"), in any case and
// with an ISO 9660 version suffix or none, as NamesFile compares names. No other
// number can name a volume: the first is 1, and the next-volume byte names at
// most 255 and never 0. So "Setup.d00", "Setup.d256", "Setup.d1" and
// "Setup.d001" are not volumes.
std::optional<int> ParseVolumeName(const std::string& onDisk);

}  // namespace volume
