// The tests' own writer of data-volume sets, written from the volume format
// itself and sharing no code with Setup's reader or the publisher's tool, so
// that a fault in their format code cannot hide behind the same fault here.
//
// The stream is the 32-bit total (little-endian), then per file its name
// (Windows-1252, backslashes), a NUL, its 32-bit size and its data. A volume
// file is one part of the stream followed by a byte naming the next volume (0
// in the last one).
//
// WriteVolumes cuts a stream into volumes exactly as told, damaged sets
// included; WriteVolumeSet lays files out in volumes of at most a given size,
// as a publisher would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testset {

struct Record {
    std::string name;  // as stored: relative, Windows-1252, backslashes
    std::string data;
};

std::string Int32(std::int32_t value);
// The logical stream: the total (the sum of the data sizes unless given), then the records.
std::string Stream(const std::vector<Record>& records);
std::string Stream(std::int32_t total, const std::vector<Record>& records);
// A record's header bytes (name, NUL, size).
std::string Header(const std::string& name, std::int32_t size);
// Setup.d01, Setup.d02 ... Setup.d10 ...
std::string Name(int number);
// Bytes that differ from file to file, so that a misplaced byte shows.
std::string Pattern(std::size_t size, unsigned seed);

// Cuts the stream into volumes (replacing every Setup.* file in the folder,
// which is created when missing): dataSizes[i] bytes for volume i, and one more
// volume with the rest; numbers[i] is the number of volume i (default 1, 2, 3 ...),
// and each volume ends with the number of the next one (the last with lastByte).
void WriteVolumes(const std::filesystem::path& folder, const std::string& stream,
                  const std::vector<std::size_t>& dataSizes, std::vector<int> numbers = {},
                  unsigned char lastByte = 0);

struct VolumeSet {
    std::vector<std::filesystem::path> volumes;  // Setup.d01 first
    std::vector<int> headerVolume;               // per record: the volume (1, 2 ...) of its header
};

// Writes the records in the order given as a whole set: Setup.d01, Setup.d02 ...
// each at most volumeSize bytes (the next-volume byte included). The total and
// every header lie whole in one volume: one that would not fit starts the next;
// file data runs on across volume ends. Throws std::invalid_argument when a
// header cannot fit into any volume.
VolumeSet WriteVolumeSet(const std::filesystem::path& folder, const std::vector<Record>& records,
                         std::size_t volumeSize);

// The digest file's text for the volumes Setup.d01 ... Setup.d<count> in the
// folder (count 0: as many as follow each other from Setup.d01), in the format
// the README gives, each volume's XXH3-128 digest taken with libxxhash itself.
std::string DigestFileText(const std::filesystem::path& folder, const std::string& identity,
                           int count = 0);
// Writes that text as Setup.sum into the folder.
void WriteDigestFile(const std::filesystem::path& folder, const std::string& identity,
                     int count = 0);
// An identity in the form the digest file takes.
inline constexpr char kSetIdentity[] = "00112233445566778899aabbccddeeff";

}  // namespace testset
