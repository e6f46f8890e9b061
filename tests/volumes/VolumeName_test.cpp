// The one reading of a volume's name, against the names the format writes.
#include "volumes/VolumeName.h"

#include <gtest/gtest.h>

#include "volumes/VolumeFormat.h"

namespace {

TEST(VolumeNameTest, EveryNameTheSetCanHoldAndNoOther) {
    // Each name the builder writes is read back as its number.
    for (int number = 1; number <= 255; ++number)
        EXPECT_EQ(volume::ParseVolumeName(volume::VolumeName(number)), number) << number;
    // The edges: no volume 0 (the first is 1, and a next-volume byte of 0 ends
    // nothing), none beyond what the next-volume byte can name.
    EXPECT_EQ(volume::ParseVolumeName("Setup.d00"), std::nullopt);
    EXPECT_EQ(volume::ParseVolumeName("Setup.d01"), 1);
    EXPECT_EQ(volume::ParseVolumeName("Setup.d255"), 255);
    EXPECT_EQ(volume::ParseVolumeName("Setup.d256"), std::nullopt);
    // As disks show the names: any case, an ISO 9660 version suffix.
    EXPECT_EQ(volume::ParseVolumeName("SETUP.D12;1"), 12);
    EXPECT_EQ(volume::ParseVolumeName("setup.d100"), 100);
    // Numbers written otherwise than the format writes them name nothing.
    for (const char* name : {"Setup.d1", "Setup.d001", "Setup.d0100", "Setup.d", "Setup.dx1",
                             "Setup.d01.bak", "MySetup.d01", "Setup.d01;", "Setup.e01", ""})
        EXPECT_EQ(volume::ParseVolumeName(name), std::nullopt) << name;
}

}  // namespace
