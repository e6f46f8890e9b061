// The volume reader reads ahead in large blocks: records, names and file data
// that cross the end of one block, skips within and beyond it, and chunk
// boundaries inside it must come out byte for byte as stored.
#include <gtest/gtest.h>

#include "tests/volumes/DataFileTest.h"
#include "volumes/Unit_DataFile.h"

using testset::Header;
using testset::Pattern;

namespace {

constexpr std::size_t kBlock = 64 * 1024;  // the reader's read-ahead

using DataFileReadAheadTest = DataFileTest;

}  // namespace

TEST_F(DataFileReadAheadTest, RecordsAcrossTheReadAheadComeOutAsStored) {
    // A file that runs over the first block, a name that straddles the second
    // block's end, a size split by it, and small files after.
    const std::string big = Pattern(kBlock + 1000, 3);
    std::string volume = Header("Big.bin", static_cast<std::int32_t>(big.size())) + big;
    const std::size_t fillerSize = 2 * kBlock - volume.size() - Header("Filler.bin", 0).size() - 5;
    const std::string filler = Pattern(fillerSize, 4);
    volume += Header("Filler.bin", static_cast<std::int32_t>(filler.size())) + filler;
    const std::string longName = "Straddling\\" + std::string(40, 'n') + ".txt";
    ASSERT_LT(volume.size(), 2 * kBlock);
    ASSERT_GT(volume.size() + longName.size(), 2 * kBlock);
    volume += Header(longName, 5) + "fives";
    std::vector<std::string> expectedNames = {"Big.bin", "Filler.bin", longName};
    for (int i = 0; i < 50; ++i) {
        const std::string name = "Small" + std::to_string(i) + ".dat";
        volume += Header(name, 700) + Pattern(700, 10 + i);
        expectedNames.push_back(name);
    }
    WriteVolume(volume + '\0');

    TDataFile file = Open();
    std::int32_t copied = 0;
    // Chunks of an odd size end inside the read-ahead and inside files.
    do file.CopyChunk(3001, copied);
    while (copied > 0);
    EXPECT_TRUE(file.DataExhausted());
    EXPECT_EQ(file.Position(), static_cast<std::int64_t>(volume.size()));
    EXPECT_EQ(InstalledContent("Big.bin"), big);
    EXPECT_EQ(InstalledContent("Filler.bin"), filler);
    EXPECT_EQ(InstalledContent(longName), "fives");
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(InstalledContent("Small" + std::to_string(i) + ".dat"), Pattern(700, 10 + i));
    EXPECT_EQ(reported_, expectedNames);
}

TEST_F(DataFileReadAheadTest, SkipsWithinAndBeyondTheReadAheadLandOnTheNextHeader) {
    const std::string big = Pattern(3 * kBlock, 5);
    WriteVolume(Header("A.bin", 100) + Pattern(100, 6) +
                Header("B.bin", static_cast<std::int32_t>(big.size())) + big + Header("C.txt", 3) +
                "abc" + '\0');
    TDataFile file = Open();
    std::string name;
    std::int32_t size = 0;
    file.ReadHeader(name, size, INT32_MAX);
    EXPECT_EQ(name, "A.bin");
    file.SkipData(size);  // within the read-ahead
    file.ReadHeader(name, size, INT32_MAX);
    EXPECT_EQ(name, "B.bin");
    file.SkipData(size);  // beyond it
    file.ReadHeader(name, size, INT32_MAX);
    EXPECT_EQ(name, "C.txt");
    EXPECT_EQ(size, 3);
    EXPECT_FALSE(file.DataExhausted());
    file.SkipData(size);
    EXPECT_TRUE(file.DataExhausted());
    int next = -1;
    EXPECT_TRUE(file.ReadByte(next));
    EXPECT_EQ(next, 0);
}
