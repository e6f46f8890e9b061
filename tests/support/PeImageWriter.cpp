#include "tests/support/PeImageWriter.h"

#include <cstdint>
#include <stdexcept>

namespace testpe {
namespace {

constexpr std::uint32_t SectionRva = 0x1000;
constexpr std::uint32_t SectionFileOffset = 0x200;

void Put(std::string& out, std::size_t at, std::uint32_t value, int size) {
    if (out.size() < at + size) out.resize(at + size, '\0');
    for (int i = 0; i < size; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

std::uint32_t Get(const std::string& in, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(in[at + i]);
    return value;
}

// A resource directory of id entries at offset, each pointing at target[i]
// (a subdirectory when subdirectory holds).
void Directory(std::string& section, std::size_t at, const std::vector<std::uint32_t>& ids,
               const std::vector<std::size_t>& targets, bool subdirectory) {
    Put(section, at + 14, static_cast<std::uint32_t>(ids.size()), 2);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        Put(section, at + 16 + 8 * i, ids[i], 4);
        Put(section, at + 20 + 8 * i,
            static_cast<std::uint32_t>(targets[i]) | (subdirectory ? 0x80000000u : 0), 4);
    }
}

}  // namespace

std::string ProgramWithIcons(const std::vector<std::vector<std::string>>& groups) {
    // The images (RT_ICON, ids from 1) and the group directories (RT_GROUP_ICON).
    std::vector<std::string> images, groupData;
    for (const auto& group : groups) {
        std::string data;
        Put(data, 0, 0, 2);
        Put(data, 2, 1, 2);
        Put(data, 4, static_cast<std::uint32_t>(group.size()), 2);
        for (const std::string& ico : group) {
            if (ico.size() < 22 || Get(ico, 4, 2) != 1) throw std::invalid_argument("one image");
            const std::uint32_t size = Get(ico, 14, 4), offset = Get(ico, 18, 4);
            images.push_back(ico.substr(offset, size));
            data += ico.substr(6, 8);  // width, height, colours, reserved, planes, bits
            std::string tail;
            Put(tail, 0, size, 4);
            Put(tail, 4, static_cast<std::uint32_t>(images.size()), 2);
            data += tail;
        }
        groupData.push_back(data);
    }

    const std::size_t n = images.size(), g = groupData.size();
    const std::size_t iconDirectory = 32, groupDirectory = iconDirectory + 16 + 8 * n;
    const std::size_t languages = groupDirectory + 16 + 8 * g;  // 24 bytes each
    const std::size_t dataEntries = languages + 24 * (n + g);   // 16 bytes each
    std::size_t blob = dataEntries + 16 * (n + g);

    std::string section;
    Directory(section, 0, {3, 14}, {iconDirectory, groupDirectory}, true);
    std::vector<std::uint32_t> iconIds, groupIds;
    std::vector<std::size_t> iconTargets, groupTargets;
    for (std::size_t i = 0; i < n + g; ++i) {
        const bool icon = i < n;
        (icon ? iconIds : groupIds).push_back(static_cast<std::uint32_t>(icon ? i + 1 : i - n + 1));
        (icon ? iconTargets : groupTargets).push_back(languages + 24 * i);
        Directory(section, languages + 24 * i, {0x409}, {dataEntries + 16 * i}, false);
        const std::string& data = icon ? images[i] : groupData[i - n];
        Put(section, dataEntries + 16 * i, static_cast<std::uint32_t>(SectionRva + blob), 4);
        Put(section, dataEntries + 16 * i + 4, static_cast<std::uint32_t>(data.size()), 4);
        section.resize(blob);
        section += data;
        blob = section.size();
    }
    Directory(section, iconDirectory, iconIds, iconTargets, true);
    Directory(section, groupDirectory, groupIds, groupTargets, true);

    std::string image;
    Put(image, 0, 0x5a4d, 2);  // "MZ"
    Put(image, 0x3c, 0x40, 4);
    Put(image, 0x40, 0x00004550, 4);  // "PE\0\0"
    Put(image, 0x44, 0x14c, 2);       // i386
    Put(image, 0x46, 1, 2);           // one section
    Put(image, 0x54, 0xe0, 2);        // the optional header's size
    Put(image, 0x56, 0x0102, 2);
    const std::size_t optional = 0x58;
    Put(image, optional, 0x10b, 2);  // PE32
    Put(image, optional + 92, 16, 4);
    Put(image, optional + 96 + 16, SectionRva, 4);
    Put(image, optional + 96 + 20, static_cast<std::uint32_t>(section.size()), 4);
    const std::size_t header = optional + 0xe0;
    image.resize(header);
    image += std::string(".rsrc\0\0\0", 8);
    Put(image, header + 8, static_cast<std::uint32_t>(section.size()), 4);
    Put(image, header + 12, SectionRva, 4);
    Put(image, header + 16, static_cast<std::uint32_t>(section.size()), 4);
    Put(image, header + 20, SectionFileOffset, 4);
    image.resize(SectionFileOffset, '\0');
    return image + section;
}

}  // namespace testpe
