// The folder split and the probe that leaves nothing behind.
#include "install/Unit_FolderProbe.h"

#include <gtest/gtest.h>

#include "tests/support/TempPrefix.h"

namespace {

class FolderProbeTest : public TempPrefixTest {};

TEST_F(FolderProbeTest, SplitFindsTheLongestExistingAncestor) {
    prefix_.WriteFile("C:\\Data\\x.txt", "");
    const TFolderSplit split = SplitExistingFolder("C:\\Data\\One\\Two");
    EXPECT_EQ(split.Existing, "C:\\Data");
    EXPECT_EQ(split.Missing, "One\\Two");
    EXPECT_EQ(SplitExistingFolder("C:\\Data").Missing, "");
    // Nothing of it exists: not even the drive.
    const TFolderSplit none = SplitExistingFolder("Q:\\A\\B");
    EXPECT_EQ(none.Existing, "");
    EXPECT_EQ(none.Missing, "Q:\\A\\B");
}

TEST_F(FolderProbeTest, ProbeLeavesNoFolderBehind) {
    EXPECT_TRUE(ProbeFolder("C:\\New\\Deep\\Er\\"));
    EXPECT_FALSE(std::filesystem::exists(prefix_.HostPath("C:\\") / "New"));
    // What already existed stays, also below a new part of the path.
    prefix_.WriteFile("C:\\Kept\\file.txt", "");
    EXPECT_TRUE(ProbeFolder("C:\\Kept\\Sub"));
    EXPECT_TRUE(std::filesystem::exists(prefix_.HostPath("C:\\Kept\\file.txt")));
    EXPECT_FALSE(std::filesystem::exists(prefix_.HostPath("C:\\Kept") / "Sub"));
    // No such drive.
    EXPECT_FALSE(ProbeFolder("Q:\\Lingora"));
    EXPECT_FALSE(ProbeFolder(""));
}

}  // namespace
