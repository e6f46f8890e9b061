// The folder split and the probes that leave nothing behind.
#include "install/Unit_FolderProbe.h"

#include <gtest/gtest.h>

#include "platform/Platform.h"
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

TEST_F(FolderProbeTest, WriteProbeTakesAFreeNameAndRemovesIt) {
    prefix_.WriteFile("C:\\Data\\~Setup0.tmp", "someone's");
    EXPECT_EQ(FolderWriteRefusal("C:\\Data\\New\\Lingora"), "");
    EXPECT_EQ(prefix_.ReadFile("C:\\Data\\~Setup0.tmp"), "someone's");
    EXPECT_FALSE(std::filesystem::exists(prefix_.HostPath("C:\\Data") / "~Setup1.tmp"));
    EXPECT_FALSE(std::filesystem::exists(prefix_.HostPath("C:\\Data") / "New"));
}

// A probe file that cannot be removed again would stay in the person's folder
// unannounced: the folder is refused, and the refusal names the file.
TEST_F(FolderProbeTest, WriteProbeThatStaysIsTheRefusal) {
    class KeepingFiles : public ForwardingFileSystem {
      public:
        using ForwardingFileSystem::ForwardingFileSystem;
        bool DeleteFile(const std::string&) override { return false; }
    } files(prefix_.Machine().Files());
    Platform platform = CurrentPlatform();
    platform.files = &files;
    ScopedPlatform installed(platform);
    prefix_.WriteFile("C:\\Data\\x.txt", "");

    const std::string refusal = FolderWriteRefusal("C:\\Data");
    EXPECT_NE(refusal.find("cannot be written to"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("C:\\Data\\~Setup0.tmp"), std::string::npos) << refusal;
}

}  // namespace
