#include "tests/support/ShellLinkReader.h"

#include <cstdint>

#include "platform/CodePage.h"

namespace {

constexpr std::uint32_t HasLinkTargetIdList = 0x01;
constexpr std::uint32_t HasLinkInfo = 0x02;
constexpr std::uint32_t HasName = 0x04;
constexpr std::uint32_t HasRelativePath = 0x08;
constexpr std::uint32_t HasWorkingDir = 0x10;
constexpr std::uint32_t IsUnicode = 0x80;
constexpr std::uint32_t VolumeIdAndLocalBasePath = 0x01;

// 00021401-0000-0000-C000-000000000046 as stored (little-endian fields).
constexpr unsigned char ShellLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                              0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

class Bytes {
  public:
    explicit Bytes(const std::string& bytes) : bytes_(bytes) {}
    bool Has(std::size_t offset, std::size_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }
    std::uint32_t U16(std::size_t offset) const {
        return std::uint8_t(bytes_[offset]) | std::uint8_t(bytes_[offset + 1]) << 8;
    }
    std::uint32_t U32(std::size_t offset) const { return U16(offset) | U16(offset + 2) << 16; }
    const std::string& All() const { return bytes_; }

  private:
    const std::string& bytes_;
};

}  // namespace

std::optional<ShellLinkContent> ReadShellLink(const std::string& data) {
    const Bytes bytes(data);
    if (!bytes.Has(0, 0x4C) || bytes.U32(0) != 0x4C) return std::nullopt;
    if (data.compare(4, 16, reinterpret_cast<const char*>(ShellLinkClsid), 16) != 0)
        return std::nullopt;
    ShellLinkContent link;
    link.linkFlags = bytes.U32(20);
    std::size_t offset = 0x4C;
    if (link.linkFlags & HasLinkTargetIdList) {
        if (!bytes.Has(offset, 2)) return std::nullopt;
        offset += 2 + bytes.U16(offset);
    }
    if (!(link.linkFlags & HasLinkInfo) || !bytes.Has(offset, 28)) return std::nullopt;
    const std::size_t info = offset;
    const std::uint32_t infoSize = bytes.U32(info);
    if (!(bytes.U32(info + 8) & VolumeIdAndLocalBasePath)) return std::nullopt;
    const std::size_t base = info + bytes.U32(info + 16);
    const std::size_t end = data.find('\0', base);
    if (!bytes.Has(info, infoSize) || base >= info + infoSize || end == std::string::npos ||
        end >= info + infoSize)
        return std::nullopt;
    link.target = data.substr(base, end - base);
    offset = info + infoSize;

    // The string data, in their fixed order; only the working folder is wanted.
    const std::size_t unit = (link.linkFlags & IsUnicode) ? 2 : 1;
    for (const std::uint32_t flag : {HasName, HasRelativePath, HasWorkingDir}) {
        if (!(link.linkFlags & flag)) continue;
        if (!bytes.Has(offset, 2)) return std::nullopt;
        const std::size_t count = bytes.U16(offset);
        if (!bytes.Has(offset + 2, count * unit)) return std::nullopt;
        if (flag == HasWorkingDir) {
            if (unit == 1) {
                link.workingFolder = data.substr(offset + 2, count);
            } else {
                std::u16string text;
                for (std::size_t i = 0; i < count; ++i)
                    text += char16_t(bytes.U16(offset + 2 + 2 * i));
                std::optional<std::string> ansi = Utf16ToAnsi(text);
                if (!ansi) return std::nullopt;
                link.workingFolder = *ansi;
            }
            return link;
        }
        offset += 2 + count * unit;
    }
    return std::nullopt;
}
