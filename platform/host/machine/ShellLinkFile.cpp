#include "platform/host/machine/ShellLinkFile.h"

#include <cstdint>

#include "platform/CodePage.h"

namespace {

constexpr std::uint32_t kHeaderSize = 0x4C;
// {00021401-0000-0000-C000-000000000046}, the shell link's class, in its stored byte order.
constexpr unsigned char kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::uint32_t kHasLinkInfo = 0x02;
constexpr std::uint32_t kHasWorkingDir = 0x10;
constexpr std::uint32_t kIsUnicode = 0x80;
constexpr std::uint32_t kFileAttributeArchive = 0x20;
constexpr std::uint32_t kShowNormal = 1;
constexpr std::uint32_t kLinkInfoHeaderSize = 0x1C;
constexpr std::uint32_t kVolumeIdAndLocalBasePath = 0x01;
constexpr std::uint32_t kVolumeIdHeaderSize = 0x10;
constexpr std::uint32_t kDriveFixed = 3;

void Put16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void Put32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void PutZeros(std::string& out, std::size_t count) { out.append(count, '\0'); }

}  // namespace

std::string BuildShellLinkFile(const std::string& target, const std::string& workingFolder) {
    std::string out;
    Put32(out, kHeaderSize);
    out.append(reinterpret_cast<const char*>(kLinkClsid), sizeof kLinkClsid);
    Put32(out, kHasLinkInfo | kHasWorkingDir | kIsUnicode);
    Put32(out, kFileAttributeArchive);
    PutZeros(out, 3 * 8);  // creation, access and write times
    Put32(out, 0);         // file size
    Put32(out, 0);         // icon index
    Put32(out, kShowNormal);
    Put16(out, 0);  // hot key
    PutZeros(out, 2 + 4 + 4);

    // LinkInfo: header, VolumeID with an empty label, local base path, empty suffix.
    const std::uint32_t volumeIdSize = kVolumeIdHeaderSize + 1;
    const std::uint32_t basePathOffset = kLinkInfoHeaderSize + volumeIdSize;
    const auto basePathSize = static_cast<std::uint32_t>(target.size() + 1);
    const std::uint32_t suffixOffset = basePathOffset + basePathSize;
    const std::uint32_t linkInfoSize = suffixOffset + 1;
    Put32(out, linkInfoSize);
    Put32(out, kLinkInfoHeaderSize);
    Put32(out, kVolumeIdAndLocalBasePath);
    Put32(out, kLinkInfoHeaderSize);  // VolumeID right after the header
    Put32(out, basePathOffset);
    Put32(out, 0);  // no network location
    Put32(out, suffixOffset);
    Put32(out, volumeIdSize);
    Put32(out, kDriveFixed);
    Put32(out, 0);  // serial number
    Put32(out, kVolumeIdHeaderSize);
    out += '\0';  // the label
    out += target;
    out += '\0';
    out += '\0';  // the common path suffix

    const std::u16string folder = AnsiToUtf16(workingFolder);
    Put16(out, static_cast<std::uint16_t>(folder.size()));
    for (const char16_t unit : folder) Put16(out, static_cast<std::uint16_t>(unit));

    Put32(out, 0);  // terminal block
    return out;
}
