#include "installlog/Unit_Paths.h"

#include <gtest/gtest.h>

#include "tests/support/TempPrefix.h"

TEST(TrimTrailingBackslash, RemovesOneBackslashButKeepsDriveRoots) {
    EXPECT_EQ(TrimTrailingBackslash(""), "");
    EXPECT_EQ(TrimTrailingBackslash("C:\\"), "C:\\");
    EXPECT_EQ(TrimTrailingBackslash("d:\\"), "d:\\");
    EXPECT_EQ(TrimTrailingBackslash("C:\\Lingora\\"), "C:\\Lingora");
    EXPECT_EQ(TrimTrailingBackslash("C:\\Lingora"), "C:\\Lingora");
    EXPECT_EQ(TrimTrailingBackslash("C:\\Data\\\\"), "C:\\Data\\");
    EXPECT_EQ(TrimTrailingBackslash("\\"), "");
    // Three characters ending in a backslash but no drive root.
    EXPECT_EQ(TrimTrailingBackslash("AB\\"), "AB");
    EXPECT_EQ(TrimTrailingBackslash("C:"), "C:");
}

TEST(JoinPath, JoinsWithExactlyOneBackslash) {
    EXPECT_EQ(JoinPath("C:\\Program Files", "Lingora"), "C:\\Program Files\\Lingora");
    EXPECT_EQ(JoinPath("C:\\Program Files\\", "Lingora"), "C:\\Program Files\\Lingora");
    EXPECT_EQ(JoinPath("", "Install.log"), "Install.log");
    EXPECT_EQ(JoinPath("C:\\", "Data"), "C:\\Data");
    EXPECT_EQ(JoinPath("C:\\Lingora", "Sub\\File.txt"), "C:\\Lingora\\Sub\\File.txt");
}

TEST(JoinPath, TrimsTheResult) {
    EXPECT_EQ(JoinPath("C:\\", ""), "C:\\");
    EXPECT_EQ(JoinPath("C:\\Lingora", ""), "C:\\Lingora");
    EXPECT_EQ(JoinPath("C:\\Lingora", "Sub\\"), "C:\\Lingora\\Sub");
    EXPECT_EQ(JoinPath("", ""), "");
}

TEST(JoinPath, DoesNotInspectTheName) {
    EXPECT_EQ(JoinPath("C:\\Lingora", "\\Data"), "C:\\Lingora\\\\Data");
    EXPECT_EQ(JoinPath("Lingora", "..\\x"), "Lingora\\..\\x");
}

using FolderExistsTest = TempPrefixTest;

TEST_F(FolderExistsTest, IsTrueForFoldersOnlyWithOrWithoutTheirBackslash) {
    prefix_.WriteFile("C:\\file.txt", "x");
    EXPECT_FALSE(FolderExists("C:\\file.txt"));
    EXPECT_TRUE(FolderExists("C:\\Program Files"));
    EXPECT_TRUE(FolderExists("C:\\program files\\"));
    EXPECT_TRUE(FolderExists("C:\\"));
    EXPECT_FALSE(FolderExists("C:\\none\\"));
}
