// The program groups' order and their folder tree.
#include "wizard/Unit_ProgramGroups.h"

#include <gtest/gtest.h>

#include "tests/support/TempPrefix.h"

namespace {

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

}  // namespace
