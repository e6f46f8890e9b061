// Command lines split as Windows programs split them.
#include "platform/host/machine/HostProcess.h"

#include <gtest/gtest.h>

TEST(CommandLine, SplitsAsWindowsProgramsDo) {
    EXPECT_EQ(SplitCommandLine("  /u  \"C:\\Program Files\\x.log\" a\\\\\\\"b c\\\\\"d e\" \"\""),
              (std::vector<std::string>{"/u", "C:\\Program Files\\x.log", "a\\\"b", "c\\d e", ""}));
    EXPECT_EQ(SplitCommandLine("C:\\dir\\ end\\"),
              (std::vector<std::string>{"C:\\dir\\", "end\\"}));
    EXPECT_TRUE(SplitCommandLine("   ").empty());
}
