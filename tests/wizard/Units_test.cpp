// The wizard's plain units: the folder split, the program groups' order, the
// picture decoder and the window texts.
#include <gtest/gtest.h>

#include <QFile>

#include "platform/Exceptions.h"
#include "tests/support/TempPrefix.h"
#include "wizard/Unit_FolderProbe.h"
#include "wizard/Unit_FormText.h"
#include "wizard/Unit_JpegImage.h"
#include "wizard/Unit_ProgramGroups.h"

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

TEST(ProgramGroups, OrderIgnoresCaseThenBytes) {
    EXPECT_TRUE(FolderNameLess("accessories", "Games"));
    EXPECT_TRUE(FolderNameLess("Games", "games"));
    EXPECT_FALSE(FolderNameLess("games", "Games"));
    EXPECT_TRUE(
        FolderNameLess("\xE9"
                       "cole",
                       "\xC9"
                       "tudes"));  // école < Études
    EXPECT_TRUE(FolderNameLess("Lingo", "Lingora"));
}

class ProgramGroupsTest : public TempPrefixTest {};

TEST_F(ProgramGroupsTest, TreeOfFoldersOnly) {
    const std::string programs = prefix_.ProgramsFolder();
    prefix_.WriteFile(programs + "\\b\\inner\\x.lnk", "");
    prefix_.WriteFile(programs + "\\A\\y.lnk", "");
    prefix_.WriteFile(programs + "\\file.lnk", "");
    const TFolderNode root = ReadFolderTree(programs + "\\");
    EXPECT_EQ(root.Name, "Programs");
    ASSERT_EQ(root.Children.size(), 2u);
    EXPECT_EQ(root.Children[0].Name, "A");
    EXPECT_TRUE(root.Children[0].Children.empty());
    EXPECT_EQ(root.Children[1].Name, "b");
    ASSERT_EQ(root.Children[1].Children.size(), 1u);
    EXPECT_EQ(root.Children[1].Children[0].Name, "inner");
}

TEST_F(ProgramGroupsTest, LinkedFolderLoopEnds) {
    const std::string programs = prefix_.ProgramsFolder();
    prefix_.WriteFile(programs + "\\Loop\\x.lnk", "");
    std::filesystem::create_directory_symlink(prefix_.HostPath(programs + "\\Loop"),
                                              prefix_.HostPath(programs + "\\Loop") / "Again");
    const TFolderNode root = ReadFolderTree(programs);
    std::size_t depth = 0;
    for (const TFolderNode* node = &root; !node->Children.empty(); node = &node->Children[0])
        ++depth;
    EXPECT_GT(depth, 2u);
    EXPECT_LT(depth, 260u);
}

TEST(JpegImage, DecodesOurPicture) {
    QFile file(":/Wizard.jpg");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const TRgbImage image = DecodeJpeg(std::string(bytes.constData(), bytes.size()));
    EXPECT_EQ(image.Width, 164);
    EXPECT_EQ(image.Height, 340);
    EXPECT_EQ(image.Pixels.size(), 164u * 340u * 3u);
}

TEST(JpegImage, BadPictureIsAnErrorNotTheEnd) {
    EXPECT_THROW(DecodeJpeg(""), Exception);
    EXPECT_THROW(DecodeJpeg("not a picture at all"), Exception);
    QFile file(":/Wizard.jpg");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // Cut short inside the header tables.
    try {
        DecodeJpeg(std::string(bytes.constData(), 200));
        ADD_FAILURE() << "a truncated header decoded";
    } catch (const Exception& error) {
        EXPECT_NE(std::string(error.what()).find("picture"), std::string::npos) << error.what();
    }
}

TEST(FormText, LineBreaksAndCodePage) {
    EXPECT_EQ(FormText("a\rb\r\nc\nd\r\r"), QString("a\nb\nc\nd\n\n"));
    EXPECT_EQ(FormText("caf\xE9"), QString::fromUtf8("café"));
    EXPECT_EQ(AnsiFromForm(QString::fromUtf8("café")), "caf\xE9");
    EXPECT_EQ(AnsiFromForm(QString::fromUtf8("a\u4E2Db")), "a?b");
}

}  // namespace
