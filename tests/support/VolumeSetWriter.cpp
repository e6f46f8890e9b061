#include "tests/support/VolumeSetWriter.h"

#include <xxhash.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testset {

std::string Int32(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((bits >> shift) & 0xFF);
    return bytes;
}

std::string Header(const std::string& name, std::int32_t size) {
    return name + std::string(1, '\0') + Int32(size);
}

std::string Stream(std::int32_t total, const std::vector<Record>& records) {
    std::string stream = Int32(total);
    for (const Record& record : records)
        stream += Header(record.name, static_cast<std::int32_t>(record.data.size())) + record.data;
    return stream;
}

std::string Stream(const std::vector<Record>& records) {
    std::int64_t total = 0;
    for (const Record& record : records) total += static_cast<std::int64_t>(record.data.size());
    return Stream(static_cast<std::int32_t>(total), records);
}

std::string Name(int number) {
    return std::string("Setup.") + (number < 10 ? "d0" : "d") + std::to_string(number);
}

std::string Pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return bytes;
}

void WriteVolumes(const std::filesystem::path& folder, const std::string& stream,
                  const std::vector<std::size_t>& dataSizes, std::vector<int> numbers,
                  unsigned char lastByte) {
    std::filesystem::create_directories(folder);
    // A new set replaces every volume of the last one.
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind("Setup.", 0) == 0)
            std::filesystem::remove(entry.path());
    const std::size_t count = dataSizes.size() + 1;
    for (std::size_t i = numbers.size(); i < count; ++i) numbers.push_back(static_cast<int>(i + 1));
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t size = i + 1 < count ? dataSizes[i] : stream.size() - at;
        if (size > stream.size() - at) throw std::invalid_argument("the cuts run past the stream");
        const std::filesystem::path file = folder / Name(numbers[i]);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << stream.substr(at, size);
        out << static_cast<char>(i + 1 < count ? numbers[i + 1] : lastByte);
        out.close();
        if (!out) throw std::runtime_error("cannot write " + file.string());
        at += size;
    }
}

VolumeSet WriteVolumeSet(const std::filesystem::path& folder, const std::vector<Record>& records,
                         std::size_t volumeSize) {
    // The data part of a volume leaves room for the next-volume byte.
    const std::size_t capacity = volumeSize > 0 ? volumeSize - 1 : 0;
    VolumeSet set;
    std::vector<std::size_t> cuts;
    std::size_t used = 0;
    // The total and the headers go whole into one volume.
    auto placeHeader = [&](std::size_t size) {
        if (size > capacity) throw std::invalid_argument("a header is larger than a volume");
        if (used + size > capacity) {
            cuts.push_back(used);
            used = 0;
        }
        used += size;
    };
    placeHeader(4);
    for (const Record& record : records) {
        placeHeader(record.name.size() + 5);
        set.headerVolume.push_back(static_cast<int>(cuts.size()) + 1);
        // Data runs on into the next volume when this one is full.
        for (std::size_t left = record.data.size(); left > 0;) {
            if (used == capacity) {
                cuts.push_back(used);
                used = 0;
            }
            const std::size_t piece = std::min(left, capacity - used);
            used += piece;
            left -= piece;
        }
    }
    WriteVolumes(folder, Stream(records), cuts);
    for (std::size_t i = 0; i <= cuts.size(); ++i)
        set.volumes.push_back(folder / Name(static_cast<int>(i) + 1));
    return set;
}

std::string DigestFileText(const std::filesystem::path& folder, const std::string& identity,
                           int count) {
    if (count == 0)
        while (std::filesystem::is_regular_file(folder / Name(count + 1))) ++count;
    std::string text =
        "Lingora Setup digests 1\nset " + identity + "\nvolumes " + std::to_string(count) + "\n";
    for (int number = 1; number <= count; ++number) {
        std::ifstream in(folder / Name(number), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        XXH128_canonical_t canonical;
        XXH128_canonicalFromHash(&canonical, XXH3_128bits(bytes.data(), bytes.size()));
        char hex[33];
        for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", canonical.digest[i]);
        text += std::to_string(number) + " " + std::to_string(bytes.size()) + " " + hex + "\n";
    }
    return text;
}

void WriteDigestFile(const std::filesystem::path& folder, const std::string& identity, int count) {
    const std::string text = DigestFileText(folder, identity, count);
    std::ofstream(folder / "Setup.sum", std::ios::binary) << text;
}

}  // namespace testset
