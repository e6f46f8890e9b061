#include "platform/TextFile.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/Exceptions.h"
#include "tests/support/TempPrefix.h"

namespace {

std::vector<std::string> AllLines(TextFileReader& reader) {
    std::vector<std::string> lines;
    std::string line;
    while (reader.ReadLine(line)) lines.push_back(line);
    return lines;
}

class TextFileTest : public TempPrefixTest {};

TEST_F(TextFileTest, LinesEndAtCrLfLfOrALoneCr) {
    prefix_.WriteFile("C:\\text.txt", "one\r\ntwo\nthree\rfour\r\n\r\nlast");
    TextFileReader reader("C:\\text.txt");
    EXPECT_EQ(AllLines(reader),
              (std::vector<std::string>{"one", "two", "three", "four", "", "last"}));
    EXPECT_TRUE(reader.Eof());
}

TEST_F(TextFileTest, EofIsTrueOnlyWhenNothingFollows) {
    prefix_.WriteFile("C:\\text.txt", "a\r\n\r\n");
    TextFileReader reader("C:\\text.txt");
    std::string line;
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_FALSE(reader.Eof());  // the empty last line is still to come
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, "");
    EXPECT_TRUE(reader.Eof());
    EXPECT_FALSE(reader.ReadLine(line));
}

TEST_F(TextFileTest, ResetReadsFromTheStartAgain) {
    std::string content;
    for (int i = 0; i < 5000; ++i) content += "line " + std::to_string(i) + "\r\n";
    prefix_.WriteFile("C:\\big.txt", content);
    TextFileReader reader("C:\\big.txt");
    EXPECT_EQ(AllLines(reader).size(), 5000u);
    reader.Reset();
    std::string first;
    ASSERT_TRUE(reader.ReadLine(first));
    EXPECT_EQ(first, "line 0");
}

TEST_F(TextFileTest, AMissingFileRaisesTheSystemCode) {
    try {
        TextFileReader reader("C:\\missing.txt");
        FAIL() << "opened a missing file";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.ErrorCode(), 2u);  // file not found
    }
}

TEST_F(TextFileTest, AnEmptyFileHasNoLines) {
    prefix_.WriteFile("C:\\empty.txt", "");
    TextFileReader reader("C:\\empty.txt");
    EXPECT_TRUE(reader.Eof());
    EXPECT_TRUE(AllLines(reader).empty());
}

}  // namespace
