#include "tests/e2e/VolumeSetWriter.h"

#include <cstdint>
#include <fstream>
#include <stdexcept>

namespace {

std::string Int32(std::uint32_t value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) bytes += char((value >> (8 * i)) & 0xFF);
    return bytes;
}

std::string VolumeName(int number) {
    return "Setup." + std::string(number < 10 ? "d0" : "d") + std::to_string(number);
}

class Writer {
  public:
    Writer(std::filesystem::path folder, std::size_t volumeSize)
        : folder_(std::move(folder)), capacity_(volumeSize - 1) {
        if (volumeSize < 16) throw std::invalid_argument("volume too small for a header");
    }

    // A header goes whole into one volume: a new one starts when it would not fit.
    void Header(const std::string& bytes) {
        if (bytes.size() > capacity_) throw std::invalid_argument("header larger than a volume");
        if (current_.size() + bytes.size() > capacity_) Close(false);
        current_ += bytes;
    }
    // Data flows across volume ends.
    void Data(const std::string& bytes) {
        std::size_t at = 0;
        while (at < bytes.size()) {
            if (current_.size() == capacity_) Close(false);
            const std::size_t n = std::min(bytes.size() - at, capacity_ - current_.size());
            current_.append(bytes, at, n);
            at += n;
        }
    }
    void Close(bool last) {
        const int number = int(volumes_.size()) + 1;
        current_ += char(last ? 0 : number + 1);
        const std::filesystem::path file = folder_ / VolumeName(number);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << current_;
        if (!out) throw std::runtime_error("cannot write " + file.string());
        volumes_.push_back(file);
        current_.clear();
    }
    std::vector<std::filesystem::path> Volumes() const { return volumes_; }
    int Current() const { return int(volumes_.size()) + 1; }

  private:
    std::filesystem::path folder_;
    std::size_t capacity_;
    std::string current_;
    std::vector<std::filesystem::path> volumes_;
};

}  // namespace

VolumeSet WriteVolumeSet(const std::filesystem::path& folder, const std::vector<StoredFile>& files,
                         std::size_t volumeSize) {
    VolumeSet set;
    std::filesystem::create_directories(folder);
    Writer writer(folder, volumeSize);
    std::uint64_t total = 0;
    for (const StoredFile& file : files) total += file.data.size();
    writer.Header(Int32(std::uint32_t(total)));
    for (const StoredFile& file : files) {
        writer.Header(file.name + '\0' + Int32(std::uint32_t(file.data.size())));
        set.headerVolume.push_back(writer.Current());
        writer.Data(file.data);
    }
    writer.Close(true);
    set.volumes = writer.Volumes();
    return set;
}
