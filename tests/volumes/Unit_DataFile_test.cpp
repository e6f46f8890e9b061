#include "volumes/Unit_DataFile.h"

#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "tests/volumes/DataFileTest.h"
#include "volumes/VolumeFormat.h"

using testset::Header;
using testset::Int32;
using testset::Pattern;
using testset::Record;

namespace {

TEST_F(DataFileTest, ReadsIntegersNamesAndBytesAsStored) {
    WriteVolume(std::string("\x10\x27\x00\x00", 4) + std::string("Sub\\A\xE9.txt\0", 11) + "\xFE" +
                "\x10\x27");
    TDataFile file = Open();
    std::int32_t value = -1;
    EXPECT_TRUE(file.ReadInt32(value));
    EXPECT_EQ(value, 10000);
    std::string name;
    EXPECT_TRUE(file.ReadName(name));
    EXPECT_EQ(name, "Sub\\A\xE9.txt");
    EXPECT_EQ(file.Position(), 15);
    int byte = -1;
    EXPECT_TRUE(file.ReadByte(byte));
    EXPECT_EQ(byte, 0xFE);
    // Only two bytes left: false, with the value of the bytes read.
    EXPECT_FALSE(file.ReadInt32(value));
    EXPECT_EQ(value, 10000);
    EXPECT_FALSE(file.ReadByte(byte));
}

TEST_F(DataFileTest, NameWithoutNulReturnsWhatWasRead) {
    // Longer than one read block, so that the name is gathered across reads.
    const std::string longName(700, 'x');
    WriteVolume(longName);
    std::string name;
    {
        TDataFile file = Open();
        EXPECT_FALSE(file.ReadName(name));
        EXPECT_EQ(name, longName);
    }
    WriteVolume(longName + '\0' + "rest");
    TDataFile again = Open();
    EXPECT_TRUE(again.ReadName(name));
    EXPECT_EQ(name, longName);
    EXPECT_EQ(again.Position(), 701);
}

TEST_F(DataFileTest, MissingVolumeCannotBeOpened) {
    try {
        Open();
        FAIL() << "opened a missing volume";
    } catch (const EFOpenError& error) {
        EXPECT_STREQ(error.what(), "Cannot open file Setup.d01");
    }
}

TEST(VolumeFormatTest, VolumeNames) {
    EXPECT_EQ(volume::VolumeName(1), "Setup.d01");
    EXPECT_EQ(volume::VolumeName(9), "Setup.d09");
    EXPECT_EQ(volume::VolumeName(10), "Setup.d10");
    EXPECT_EQ(volume::VolumeName(100), "Setup.d100");
    EXPECT_EQ(volume::VolumeName(255), "Setup.d255");
}

TEST(VolumeFormatTest, NamesThatLeaveTheFolderAreRefused) {
    for (const std::string& name : std::vector<std::string>{
             "..\\evil.exe", "Sub\\..\\..\\evil.exe", "Sub\\..", "\\Windows\\evil.exe",
             "\\\\server\\share\\evil.exe", "C:\\evil.exe", "C:evil.exe", "Sub/../evil.exe",
             "file.txt:stream", std::string("a\nb"), std::string("a\x01"), "", "Sub\\\\File",
             "Sub\\", "...\\evil.exe", ". .\\evil", ".. \\evil", ".\\file"}) {
        EXPECT_FALSE(volume::StoredNameFault(name).empty()) << name;
    }
    for (const std::string& name :
         std::vector<std::string>{"Lingora.exe", "Sub\\Deeper\\File.dat", "..file", "a..b",
                                  "Caf\xE9\\R\xE9sum\xE9.txt", "name with spaces.txt", ".hidden"}) {
        EXPECT_EQ(volume::StoredNameFault(name), "") << name;
    }
}

TEST_F(DataFileTest, CopiesFilesInBoundedChunksAndLogsEachOnce) {
    const std::string data = Pattern(1000, 1);
    WriteVolume(Header("Sub\\Deeper\\File.dat", 1000) + data + Header("Empty.txt", 0) +
                Header("Last.bin", 3) + "xyz" + "\x07");
    TDataFile file = Open();
    std::int32_t copied = 0;
    file.CopyChunk(300, copied);
    EXPECT_EQ(copied, 300);
    EXPECT_EQ(OutFileRemaining, 700);
    file.CopyChunk(700, copied);
    EXPECT_EQ(copied, 700);
    EXPECT_EQ(OutFileRemaining, 0);
    EXPECT_FALSE(OutFile);
    // The empty file is started and finished inside the next chunk.
    file.CopyChunk(2, copied);
    EXPECT_EQ(copied, 2);
    file.CopyChunk(5, copied);
    EXPECT_EQ(copied, 1);  // the volume's data part ends
    EXPECT_TRUE(file.DataExhausted());
    file.CopyChunk(5, copied);
    EXPECT_EQ(copied, 0);  // the next-volume byte is never taken for a header
    EXPECT_EQ(InstalledContent("Sub\\Deeper\\File.dat"), data);
    EXPECT_TRUE(std::filesystem::is_regular_file(Installed("Empty.txt")));
    EXPECT_EQ(InstalledContent("Empty.txt"), "");
    EXPECT_EQ(InstalledContent("Last.bin"), "xyz");
    // Each name was reported once, before its file existed.
    EXPECT_EQ(reported_,
              (std::vector<std::string>{"Sub\\Deeper\\File.dat", "Empty.txt", "Last.bin"}));
    EXPECT_EQ(existedWhenReported_, (std::vector<bool>{false, false, false}));
}

TEST_F(DataFileTest, ExistingTargetIsReplacedNotAppendedTo) {
    temp_.WriteFile("prefix/drive_c/Program Files/Lingora/Lingora.exe", std::string(5000, 'o'));
    WriteVolume(Header("Lingora.exe", 4) + "new!" + '\0');
    TDataFile file = Open();
    std::int32_t copied = 0;
    file.CopyChunk(100, copied);
    EXPECT_EQ(InstalledContent("Lingora.exe"), "new!");
}

TEST_F(DataFileTest, DamagedHeadersAreRefusedBeforeAnythingIsWritten) {
    struct Case {
        std::string volume;
        std::string fault;
    };
    const std::vector<Case> cases = {
        {"NoNul" + std::string("\x02"), "name of a file runs past the end"},
        {Header("Cut", 5).substr(0, 6) + '\0', "size of the file \"Cut\" runs past"},
        {Header("Neg", -5) + "x" + '\0', "negative size"},
        {Header("..\\..\\windows\\evil.exe", 1) + "x" + '\0', "dots-only component"},
        {Header("C:\\evil.exe", 1) + "x" + '\0', "colon"},
        {Header("\\evil.exe", 1) + "x" + '\0', "starting with a backslash"},
        // The NUL of this name is the next-volume byte: the header crosses the end.
        {std::string("Crossing") + '\0', "name of a file runs past the end"},
    };
    for (const Case& test : cases) {
        WriteVolume(test.volume);
        TDataFile file = Open();
        std::int32_t copied = 0;
        try {
            file.CopyChunk(10, copied);
            ADD_FAILURE() << "accepted " << test.fault;
        } catch (const EDamagedVolume& error) {
            EXPECT_NE(std::string(error.what()).find("Setup.d01 is damaged at offset 0: "),
                      std::string::npos)
                << error.what();
            EXPECT_NE(std::string(error.what()).find(test.fault), std::string::npos)
                << error.what();
        }
        ResetOutFile();
    }
    // Nothing was created, inside or outside the installation folder, nor reported.
    EXPECT_FALSE(std::filesystem::exists(prefix_ / "drive_c" / "windows" / "evil.exe"));
    EXPECT_FALSE(std::filesystem::exists(prefix_ / "drive_c" / "evil.exe"));
    EXPECT_FALSE(std::filesystem::exists(Installed("Neg")));
    EXPECT_TRUE(reported_.empty());
}

}  // namespace
