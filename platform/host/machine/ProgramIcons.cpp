#include "platform/host/machine/ProgramIcons.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t ResourceTypeIcon = 3;
constexpr std::uint32_t ResourceTypeGroupIcon = 14;
constexpr std::size_t MaxEntries = 1024;  // more than any real directory level holds
constexpr std::size_t MaxImages = 64;     // more than any real icon group holds

// Little-endian reads that fail rather than run past the image.
class Image {
  public:
    explicit Image(const std::string& bytes) : bytes_(bytes) {}
    bool Has(std::uint64_t offset, std::uint64_t size) const {
        return offset <= bytes_.size() && size <= bytes_.size() - offset;
    }
    std::optional<std::uint32_t> Read(std::uint64_t offset, int size) const {
        if (!Has(offset, static_cast<std::uint64_t>(size))) return std::nullopt;
        std::uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i)
            value = (value << 8) | static_cast<unsigned char>(bytes_[offset + i]);
        return value;
    }
    std::string Slice(std::uint64_t offset, std::uint64_t size) const {
        return bytes_.substr(offset, size);
    }

  private:
    const std::string& bytes_;
};

struct Section {
    std::uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

class PeResources {
  public:
    explicit PeResources(const std::string& bytes) : image_(bytes) {}

    bool Open() {
        const auto magic = image_.Read(0, 2);
        const auto peOffset = image_.Read(0x3c, 4);
        if (!magic || *magic != 0x5a4d || !peOffset) return false;
        const auto signature = image_.Read(*peOffset, 4);
        if (!signature || *signature != 0x00004550) return false;
        const std::uint64_t coff = std::uint64_t(*peOffset) + 4;
        const auto sectionCount = image_.Read(coff + 2, 2);
        const auto optionalSize = image_.Read(coff + 16, 2);
        const std::uint64_t optional = coff + 20;
        const auto optionalMagic = image_.Read(optional, 2);
        if (!sectionCount || !optionalSize || !optionalMagic) return false;
        // The data directories: PE32 (0x10b) or PE32+ (0x20b); the third is the resources.
        const std::uint64_t directories = optional + (*optionalMagic == 0x20b   ? 112
                                                      : *optionalMagic == 0x10b ? 96
                                                                                : 0);
        const auto directoryCount =
            image_.Read(directories - 4, 4);  // NumberOfRvaAndSizes, just before them
        if (directories == optional || !directoryCount || *directoryCount < 3) return false;
        const auto resourceRva = image_.Read(directories + 2 * 8, 4);
        if (!resourceRva || *resourceRva == 0) return false;

        const std::uint64_t sectionTable = optional + *optionalSize;
        for (std::uint32_t i = 0; i < *sectionCount && i < 96; ++i) {
            const std::uint64_t at = sectionTable + 40ull * i;
            const auto virtualSize = image_.Read(at + 8, 4),
                       virtualAddress = image_.Read(at + 12, 4), rawSize = image_.Read(at + 16, 4),
                       rawOffset = image_.Read(at + 20, 4);
            if (!virtualSize || !virtualAddress || !rawSize || !rawOffset) return false;
            sections_.push_back({*virtualAddress, *virtualSize, *rawSize, *rawOffset});
        }
        const auto root = FileOffset(*resourceRva);
        if (!root) return false;
        root_ = *root;
        return true;
    }

    // The data entries of one resource type: (name or id, file offset, size).
    struct Resource {
        std::uint32_t id;
        std::uint64_t offset;
        std::uint32_t size;
    };
    std::vector<Resource> OfType(std::uint32_t type) const {
        std::vector<Resource> found;
        for (const auto& [typeId, names] : Entries(root_)) {
            if (typeId != type || !names.second) continue;
            for (const auto& [nameId, languages] : Entries(root_ + names.first)) {
                if (!languages.second) continue;
                // The first language of each name.
                const auto list = Entries(root_ + languages.first);
                if (list.empty() || list.front().second.second) continue;
                const std::uint64_t entry = root_ + list.front().second.first;
                const auto rva = image_.Read(entry, 4), size = image_.Read(entry + 4, 4);
                if (!rva || !size) continue;
                const auto offset = FileOffset(*rva);
                if (offset && image_.Has(*offset, *size)) found.push_back({nameId, *offset, *size});
            }
            break;  // one directory per type
        }
        return found;
    }

    const Image& Bytes() const { return image_; }

  private:
    // A directory's entries: id (names count as none), offset below the root and
    // whether it is a subdirectory.
    std::vector<std::pair<std::uint32_t, std::pair<std::uint32_t, bool>>> Entries(
        std::uint64_t directory) const {
        std::vector<std::pair<std::uint32_t, std::pair<std::uint32_t, bool>>> entries;
        const auto named = image_.Read(directory + 12, 2), ids = image_.Read(directory + 14, 2);
        if (!named || !ids) return entries;
        const std::size_t count = std::min<std::size_t>(*named + *ids, MaxEntries);
        for (std::size_t i = 0; i < count; ++i) {
            const auto name = image_.Read(directory + 16 + 8 * i, 4);
            const auto data = image_.Read(directory + 20 + 8 * i, 4);
            if (!name || !data) break;
            const std::uint32_t id = (*name & 0x80000000u) != 0 ? 0xffffffffu : *name;
            const std::uint32_t offset = *data & 0x7fffffffu;
            // A subdirectory further down, never back up: no loops.
            const bool subdirectory = (*data & 0x80000000u) != 0;
            if (subdirectory && root_ + offset <= directory) continue;
            entries.push_back({id, {offset, subdirectory}});
        }
        return entries;
    }

    std::optional<std::uint64_t> FileOffset(std::uint32_t rva) const {
        for (const Section& section : sections_) {
            const std::uint64_t extent = std::max(section.virtualSize, section.rawSize);
            if (rva >= section.virtualAddress && rva - section.virtualAddress < extent) {
                const std::uint64_t within = rva - section.virtualAddress;
                if (within >= section.rawSize) return std::nullopt;
                return std::uint64_t(section.rawOffset) + within;
            }
        }
        return std::nullopt;
    }

    Image image_;
    std::vector<Section> sections_;
    std::uint64_t root_ = 0;
};

void Put(std::string& out, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) out += static_cast<char>((value >> (8 * i)) & 0xff);
}

}  // namespace

std::optional<std::string> ProgramIcon(const std::string& bytes, std::size_t index) {
    PeResources resources(bytes);
    if (!resources.Open()) return std::nullopt;
    const std::vector<PeResources::Resource> groups = resources.OfType(ResourceTypeGroupIcon);
    if (index >= groups.size()) return std::nullopt;
    const PeResources::Resource& group = groups[index];
    const std::vector<PeResources::Resource> icons = resources.OfType(ResourceTypeIcon);
    const Image& image = resources.Bytes();

    const auto count = image.Read(group.offset + 4, 2);
    if (!count || 6ull + 14ull * *count > group.size) return std::nullopt;
    // The group's entries name their images by id; the .ico file holds a
    // 16-byte entry per image with its offset, then the images.
    std::vector<std::pair<std::string, const PeResources::Resource*>> members;
    for (std::uint32_t i = 0; i < *count && members.size() < MaxImages; ++i) {
        const std::uint64_t entry = group.offset + 6 + 14ull * i;
        const auto id = image.Read(entry + 12, 2);
        if (!id) break;
        for (const auto& icon : icons) {
            if (icon.id != *id) continue;
            // width, height, colours, reserved, planes, bits per pixel
            members.push_back({image.Slice(entry, 8), &icon});
            break;
        }
    }
    if (members.empty()) return std::nullopt;
    std::string ico;
    Put(ico, 0, 2);
    Put(ico, 1, 2);
    Put(ico, static_cast<std::uint32_t>(members.size()), 2);
    std::uint64_t offset = 6 + 16 * members.size();
    for (const auto& [fields, icon] : members) {
        ico += fields;
        Put(ico, icon->size, 4);
        Put(ico, static_cast<std::uint32_t>(offset), 4);
        offset += icon->size;
    }
    if (offset > bytes.size() + 6 + 16 * MaxImages)
        return std::nullopt;  // images shared over and over
    for (const auto& member : members)
        ico += image.Slice(member.second->offset, member.second->size);
    return ico;
}
