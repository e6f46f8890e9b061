// A program's icon out of its resources: the sizes and pixels of the icon
// group asked for, and nothing (never a crash) from bytes that are not a sound
// program.
#include "platform/host/machine/ProgramIcons.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <set>

#include "tests/support/PeImageWriter.h"

namespace {

std::string Ico(int size, QColor colour) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "ICO"));
    return bytes.toStdString();
}

// The sizes and the colour of the first pixel of each image in an .ico file.
std::set<std::pair<int, QRgb>> Images(const std::string& ico) {
    QByteArray bytes(ico.data(), static_cast<qsizetype>(ico.size()));
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "ico");
    std::set<std::pair<int, QRgb>> images;
    for (int i = 0; i < reader.imageCount(); ++i) {
        if (i > 0) EXPECT_TRUE(reader.jumpToNextImage());
        const QImage image = reader.read();
        EXPECT_FALSE(image.isNull());
        images.insert({image.width(), image.pixel(0, 0)});
    }
    return images;
}

std::uint32_t Little(const std::string& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// Whatever a damaged program yields is nothing, or a whole icon file: its
// directory names at least one image, and every image it names lies inside the
// file (the images' own bytes are the program's and may be as damaged as it is).
void ExpectNothingOrAnIcon(const std::optional<std::string>& icon, std::size_t where) {
    if (!icon) return;
    ASSERT_GE(icon->size(), 6u) << "damaged at " << where;
    EXPECT_EQ(Little(*icon, 0, 2), 0u) << "damaged at " << where;
    EXPECT_EQ(Little(*icon, 2, 2), 1u) << "damaged at " << where;
    const std::uint32_t count = Little(*icon, 4, 2);
    ASSERT_GE(count, 1u) << "damaged at " << where;
    ASSERT_GE(icon->size(), 6u + 16u * count) << "damaged at " << where;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t size = Little(*icon, 6 + 16 * i + 8, 4);
        const std::uint64_t offset = Little(*icon, 6 + 16 * i + 12, 4);
        EXPECT_LE(offset + size, icon->size()) << "damaged at " << where << ", image " << i;
    }
}

const std::string& Program() {
    static const std::string program =
        testpe::ProgramWithIcons({{Ico(16, Qt::red), Ico(32, Qt::blue)}, {Ico(48, Qt::green)}});
    return program;
}

TEST(ProgramIconsTest, EachGroupWithItsSizes) {
    const auto first = ProgramIcon(Program(), 0);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(Images(*first),
              (std::set<std::pair<int, QRgb>>{{16, qRgb(255, 0, 0)}, {32, qRgb(0, 0, 255)}}));
    const auto second = ProgramIcon(Program(), 1);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(Images(*second), (std::set<std::pair<int, QRgb>>{{48, qRgb(0, 255, 0)}}));
    EXPECT_FALSE(ProgramIcon(Program(), 2).has_value());
}

TEST(ProgramIconsTest, NoProgramNoIcon) {
    EXPECT_FALSE(ProgramIcon("").has_value());
    EXPECT_FALSE(ProgramIcon("MZ").has_value());
    EXPECT_FALSE(ProgramIcon("uninstaller stand-in").has_value());
    EXPECT_FALSE(ProgramIcon(testpe::ProgramWithIcons({})).has_value());
}

TEST(ProgramIconsTest, DamagedProgramsGiveNothingOrAnIconButNeverACrash) {
    const std::string& program = Program();
    for (std::size_t length = 0; length < program.size(); length += 3)
        ExpectNothingOrAnIcon(ProgramIcon(program.substr(0, length)), length);
    for (std::size_t at = 0; at < 0x400 && at < program.size(); ++at) {
        for (const unsigned char value : {0x00, 0x7f, 0x80, 0xff}) {
            std::string damaged = program;
            damaged[at] = static_cast<char>(value);
            ExpectNothingOrAnIcon(ProgramIcon(damaged, 0), at);
        }
    }
}

}  // namespace
