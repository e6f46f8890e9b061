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
}

TEST_F(TextFileTest, AnEmptyLastLineIsALineOfItsOwn) {
    prefix_.WriteFile("C:\\text.txt", "a\r\n\r\n");
    TextFileReader reader("C:\\text.txt");
    EXPECT_EQ(AllLines(reader), (std::vector<std::string>{"a", ""}));
}

TEST_F(TextFileTest, LinesAcrossTheReadBufferStayWhole) {
    std::string content;
    for (int i = 0; i < 5000; ++i) content += "line " + std::to_string(i) + "\r\n";
    prefix_.WriteFile("C:\\big.txt", content);
    TextFileReader reader("C:\\big.txt");
    const std::vector<std::string> lines = AllLines(reader);
    ASSERT_EQ(lines.size(), 5000u);
    for (int i = 0; i < 5000; ++i) ASSERT_EQ(lines[i], "line " + std::to_string(i));
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
    EXPECT_TRUE(AllLines(reader).empty());
}

}  // namespace
