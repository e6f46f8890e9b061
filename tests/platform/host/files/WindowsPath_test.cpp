// Windows path strings: full paths from any start, names, folding and patterns.
#include "platform/host/files/WindowsPath.h"

#include <gtest/gtest.h>

TEST(WindowsPath, FullPathsResolveDotsAndStartWhereWindowsStarts) {
    const std::string cwd = "C:\\Setup\\Disk1";
    struct Case {
        const char* path;
        const char* full;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"C:\\a\\.\\b\\..\\c", "C:\\a\\c"},
             {"C:\\a\\b\\", "C:\\a\\b\\"},
             {"C:/a/b", "C:\\a\\b"},
             {"x.txt", "C:\\Setup\\Disk1\\x.txt"},
             {"..\\..\\..\\x", "C:\\x"},
             {".", "C:\\Setup\\Disk1"},
             {"\\Windows", "C:\\Windows"},
             {"c:x", "c:\\Setup\\Disk1\\x"},
             {"D:x", "D:\\x"},
             {"D:", "D:\\"},
             {"C:\\..", "C:\\"},
             {"\\\\server\\share\\x", "\\\\server\\share\\x"},
             // Near the full form: only what is not yet full is rebuilt.
             {"C:\\a\\\\b", "C:\\a\\b"},
             {"C:\\a\\..", "C:\\"},
             {"C:\\a\\.", "C:\\a"},
             {"C:\\a\\b/c", "C:\\a\\b\\c"},
             {"C:\\a..\\.b\\...", "C:\\a..\\.b\\..."},
             {"c:\\Program Files\\", "c:\\Program Files\\"},
         }) {
        EXPECT_EQ(FullWindowsPath(c.path, cwd), c.full) << c.path;
    }
    bool left = false;
    EXPECT_EQ(FullWindowsPath("C:\\..\\..\\etc\\passwd", cwd, &left), "C:\\etc\\passwd");
    EXPECT_TRUE(left);
    FullWindowsPath("..\\..\\x", cwd, &left);
    EXPECT_FALSE(left);  // climbing out of the current directory stays on the drive
    FullWindowsPath("..\\..\\..\\x", cwd, &left);
    EXPECT_TRUE(left);

    EXPECT_EQ(ParentOfFullPath("C:\\a\\b"), "C:\\a");
    EXPECT_EQ(ParentOfFullPath("C:\\a\\"), "C:\\");
    EXPECT_EQ(ParentOfFullPath("C:\\"), "C:\\");
}

TEST(WindowsPath, NamesFoldAndMatchAsOnWindows) {
    EXPECT_TRUE(SameNameIgnoringCase("Caf\xE9 \x9A\xFF", "CAF\xC9 \x8A\x9F"));
    EXPECT_FALSE(SameNameIgnoringCase("\xF7", "\xD7"));  // ÷ and × are no case pair
    EXPECT_FALSE(SameNameIgnoringCase("ab", "abc"));

    EXPECT_TRUE(MatchesPattern("Lingora.LNK", "*.lnk"));
    EXPECT_TRUE(MatchesPattern("anything", "*.*"));
    EXPECT_TRUE(MatchesPattern("Setup.d01", "setup.d?1"));
    EXPECT_TRUE(MatchesPattern("a.b.c", "*.c"));
    EXPECT_FALSE(MatchesPattern("Setup.d01", "Setup.d0"));
    EXPECT_FALSE(MatchesPattern("abc", "a*d"));

    EXPECT_TRUE(IsValidWindowsName("Program Files (x86)"));
    for (const char* bad : {"", "a:b", "a|b", "a*", "a?", "a\"b", "a<b", "a/b", "a\tb"})
        EXPECT_FALSE(IsValidWindowsName(bad)) << bad;
    EXPECT_FALSE(SplitFullPath("x\\y").has_value());
    EXPECT_EQ(SplitFullPath("c:\\A\\\\B")->names, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(SplitFullPath("c:\\A")->drive, 'C');
}
