// The .lnk layout, field by field, at the offsets the Shell Link format fixes.
#include "platform/host/machine/ShellLinkFile.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

std::uint32_t U32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes.at(at + i));
    return value;
}

std::uint16_t U16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes.at(at)) |
                                      static_cast<unsigned char>(bytes.at(at + 1)) << 8);
}

}  // namespace

TEST(ShellLinkFile, HeaderLinkInfoWorkingFolderAndTerminalBlock) {
    const std::string target = "C:\\Program Files\\Lingora\\Lingora.exe";
    const std::string folder = "C:\\Program Files\\Caf\xE9";  // é: one UTF-16 unit 0x00E9
    const std::string bytes = BuildShellLinkFile(target, folder);

    EXPECT_EQ(U32(bytes, 0), 0x4Cu);
    EXPECT_EQ(bytes.substr(4, 16), std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00"
                                               "\x00\x00\x00\x46",
                                               16));
    EXPECT_EQ(U32(bytes, 20), 0x02u | 0x10u | 0x80u);  // link info, working folder, Unicode
    EXPECT_EQ(U32(bytes, 24), 0x20u);
    EXPECT_EQ(bytes.substr(28, 32), std::string(32, '\0'));  // times, size, icon
    EXPECT_EQ(U32(bytes, 60), 1u);                           // show normal
    EXPECT_EQ(bytes.substr(64, 12), std::string(12, '\0'));

    const std::size_t info = 76;
    const std::uint32_t infoSize = U32(bytes, info);
    EXPECT_EQ(U32(bytes, info + 4), 0x1Cu);
    EXPECT_EQ(U32(bytes, info + 8), 1u);  // VolumeID and local base path
    const std::uint32_t volume = U32(bytes, info + 12);
    const std::uint32_t base = U32(bytes, info + 16);
    EXPECT_EQ(U32(bytes, info + 20), 0u);
    const std::uint32_t suffix = U32(bytes, info + 24);
    EXPECT_EQ(U32(bytes, info + volume + 4), 3u);                               // fixed drive
    EXPECT_EQ(U32(bytes, info + volume + 8), 0u);                               // serial
    EXPECT_EQ(bytes.at(info + volume + U32(bytes, info + volume + 12)), '\0');  // empty label
    EXPECT_EQ(bytes.substr(info + base, target.size() + 1), target + std::string(1, '\0'));
    EXPECT_EQ(bytes.at(info + suffix), '\0');
    EXPECT_EQ(suffix + 1, infoSize);

    const std::size_t counted = info + infoSize;
    ASSERT_EQ(U16(bytes, counted), folder.size());
    EXPECT_EQ(U16(bytes, counted + 2), u'C');
    EXPECT_EQ(U16(bytes, counted + 2 * folder.size()), 0x00E9);
    EXPECT_EQ(bytes.size(), counted + 2 + 2 * folder.size() + 4);
    EXPECT_EQ(U32(bytes, bytes.size() - 4), 0u);
}
