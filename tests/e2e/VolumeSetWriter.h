// Makes sets of data volumes for the end-to-end tests, written here from the
// volume format itself rather than by the publisher's tool, so that a fault
// shared by the tool and the reader cannot hide. The stream is the 32-bit total,
// then per file its name (Windows-1252, backslashes, NUL-terminated), its 32-bit
// size and its data; each volume's last byte names the next volume, and no total,
// name or size runs across a volume's end.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

struct StoredFile {
    std::string name;  // as stored: relative, backslashes, ANSI
    std::string data;
};

struct VolumeSet {
    std::vector<std::filesystem::path> volumes;  // Setup.d01 first
    std::vector<int> headerVolume;               // per file: the volume (1, 2 ...) of its header
};

// Writes Setup.d01, Setup.d02 ... into folder, each at most volumeSize bytes
// (the next-volume byte included).
VolumeSet WriteVolumeSet(const std::filesystem::path& folder, const std::vector<StoredFile>& files,
                         std::size_t volumeSize);
