#include "volumes/VolumeName.h"

#include "volumes/VolumeDigest.h"
#include "volumes/VolumeFormat.h"

namespace volume {

std::optional<int> ParseVolumeName(const std::string& onDisk) {
    // "Setup.d" and the digits; the suffix may follow the digits.
    constexpr std::size_t kStem = 7;
    std::size_t end = kStem;
    int number = 0;
    while (end < onDisk.size() && end < kStem + 3 && onDisk[end] >= '0' && onDisk[end] <= '9')
        number = number * 10 + (onDisk[end++] - '0');
    if (end == kStem || number < 1 || number > kMostVolumes) return std::nullopt;
    if (!NamesFile(onDisk, VolumeName(number))) return std::nullopt;
    return number;
}

}  // namespace volume
