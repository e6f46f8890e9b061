// The copying loop, run on the user-interface thread itself (its steps then run
// directly), so that each set's outcome is checked without timing.
#include "extract/Unit_ExtractThread.h"

#include <gtest/gtest.h>

#include <QProgressBar>
#include <map>

#include "dialogs/Unit_Constants.h"
#include "extract/CopyingScope.h"
#include "extract/Unit_ExtractForm.h"
#include "platform/Exceptions.h"
#include "tests/extract/ExtractTestSupport.h"
#include "volumes/Unit_DataFile.h"

using testset::Header;
using testset::Pattern;
using testset::Record;
using testset::Stream;

namespace {

class ExtractThreadTest : public ExtractTest {
  protected:
    // Runs the whole loop; returns the steps in the order they ran.
    std::vector<std::string> Run() {
        std::vector<std::string> steps;
        ExtractStepObserver = [&steps](const char* step) { steps.emplace_back(step); };
        TExtractThread thread;
        thread.Execute();
        ExtractStepObserver = nullptr;
        return steps;
    }
    static int Count(const std::vector<std::string>& steps, const std::string& step) {
        return static_cast<int>(std::count(steps.begin(), steps.end(), step));
    }
    void ExpectInstalled(const std::vector<Record>& records) {
        for (const Record& record : records)
            EXPECT_EQ(InstalledContent(record.name), record.data) << record.name;
    }
    static std::vector<std::string> Names(const std::vector<Record>& records) {
        std::vector<std::string> names;
        for (const Record& record : records) names.push_back(record.name);
        return names;
    }
    // Runs a set expected to be damaged; returns the error's message.
    std::string RunDamaged() {
        try {
            Run();
        } catch (const EDamagedVolume& error) {
            return error.what();
        }
        ADD_FAILURE() << "the damaged set was taken as whole";
        return {};
    }
};

TEST_F(ExtractThreadTest, OneVolumeSetIsCopiedWholeAndLogged) {
    const std::vector<Record> records = {
        {"Lingora.exe", Pattern(30000, 1)},
        {"Lingohlp.hlp", Pattern(12345, 2)},
        {"Empty.dat", ""},
        {"Sub\\Deeper\\File.dat", Pattern(777, 3)},
        {"Caf\xE9\\R\xE9sum\xE9.txt", "w\xE9"},
    };
    // The last byte is a next-volume number that must never be read.
    testset::WriteVolumes(volumes_, Stream(records), {}, {}, 42);
    const auto steps = Run();
    ExpectInstalled(records);
    EXPECT_EQ(Count(steps, "NextVolume"), 0);
    EXPECT_EQ(steps.back(), "SetDone");
    EXPECT_EQ(ExtractForm->ModalResult(), 1);
    EXPECT_TRUE(std::filesystem::is_regular_file(prefix_ / "drive_c" / "Program Files" / "Lingora" /
                                                 "Café" / "Résumé.txt"));
    EXPECT_EQ(CloseLog(), ExpectedLog(Names(records)));
}

TEST_F(ExtractThreadTest, FilesSpanningVolumesAreWholeAndLoggedOnce) {
    const std::vector<Record> records = {
        {"A.bin", Pattern(5000, 4)}, {"B.bin", Pattern(20000, 5)}, {"C.bin", Pattern(300, 6)}};
    const std::string stream = Stream(records);
    // B runs across volumes 2 and 3 into volume 4; A across 1 and 2.
    Write(stream, {2000, 6000, 7000});
    const auto steps = Run();
    ExpectInstalled(records);
    EXPECT_EQ(Count(steps, "NextVolume"), 3);
    EXPECT_EQ(CloseLog(), ExpectedLog(Names(records)));
}

TEST_F(ExtractThreadTest, ChunkEndingWithTheVolumeMovesOnBeforeTheNextHeader) {
    // Total 200: chunks of 2 bytes. Volume 1 ends exactly with A, at the end of a
    // chunk; the next chunk must start on volume 2, not at the next-volume byte.
    const std::vector<Record> records = {{"A.bin", Pattern(10, 7)}, {"B.bin", Pattern(190, 8)}};
    const std::string stream = Stream(records);
    Write(stream, {4 + testset::Header("A.bin", 10).size() + 10});
    const auto steps = Run();
    ExpectInstalled(records);
    EXPECT_EQ(ExtractForm->ModalResult(), 1);
    EXPECT_EQ(CloseLog(), ExpectedLog(Names(records)));
}

TEST_F(ExtractThreadTest, VolumeHoldingOnlyAHeaderCreatesTheFileFromTheNext) {
    const std::vector<Record> records = {{"A.bin", Pattern(150, 9)}, {"B.bin", Pattern(250, 10)}};
    const std::string stream = Stream(records);
    const std::size_t first = 4 + Header("A.bin", 150).size() + 150;
    Write(stream, {first, Header("B.bin", 250).size()});
    const auto steps = Run();
    ExpectInstalled(records);
    EXPECT_EQ(Count(steps, "NextVolume"), 2);
}

TEST_F(ExtractThreadTest, ChunkArithmetic) {
    struct Case {
        std::int32_t total;
        int steps;  // progress steps; chunks are one more
    };
    // 250: chunks of 2; 1,000,000: 100 chunks of 10,000; 1,050: chunks of 10 and
    // a remainder that takes 5 more; 37: below 100, chunks of 1.
    for (const Case test : {Case{250, 124}, Case{1000000, 99}, Case{1050, 104}, Case{37, 36}}) {
        const std::vector<Record> records = {{"Data.bin", Pattern(test.total, 11)}};
        Write(Stream(records), {});
        ExtractForm->ProgressBar->setValue(0);
        const auto steps = Run();
        EXPECT_EQ(Count(steps, "StepProgress"), test.steps) << test.total;
        EXPECT_EQ(Count(steps, "CopyStep"), test.steps + 1) << test.total;
        EXPECT_EQ(InstalledContent("Data.bin"), records[0].data) << test.total;
        // The bar never goes beyond its end, however many chunks there are.
        EXPECT_EQ(ExtractForm->ProgressBar->value(), std::min(100, test.steps)) << test.total;
    }
}

TEST_F(ExtractThreadTest, EmptyFilesAfterTheLastDataByteAreCreated) {
    const std::vector<Record> records = {{"Empty0.txt", ""},
                                         {"Data.bin", Pattern(500, 12)},
                                         {"Empty1.txt", ""},
                                         {"Sub\\Empty2.txt", ""}};
    Write(Stream(records), {});
    Run();
    ExpectInstalled(records);
    EXPECT_TRUE(std::filesystem::exists(Installed("Sub\\Empty2.txt")));
    EXPECT_EQ(CloseLog(), ExpectedLog(Names(records)));
}

TEST_F(ExtractThreadTest, TotalOfZeroEndsAtOnce) {
    Write(Stream({}), {});
    const auto steps = Run();
    EXPECT_EQ(steps, (std::vector<std::string>{"OpenFirstVolume", "FinishSet", "SetDone"}));
    EXPECT_EQ(ExtractForm->ModalResult(), 1);
}

TEST_F(ExtractThreadTest, FirstVolumePointingToDiskTwelve) {
    const std::vector<Record> records = {{"A.bin", Pattern(3000, 13)}};
    Write(Stream(records), {1000}, {1, 12});
    const auto steps = Run();
    EXPECT_EQ(Count(steps, "NextVolume"), 1);
    EXPECT_EQ(VolumeSuffix, "d12");
    EXPECT_EQ(NextDisk, 12);
    ExpectInstalled(records);
    EXPECT_TRUE(windows_.Beeps().empty());
}

TEST_F(ExtractThreadTest, SetsThatDoNotMatchTheirTotalAreDamaged) {
    const std::string data = Pattern(400, 14);
    struct Case {
        std::string stream;
        std::vector<std::size_t> cuts;
        unsigned char lastByte;
        std::string fault;
    };
    const std::vector<Case> cases = {
        // The data ends before the total: the last volume's byte is 0.
        {Stream(800, {{"A.bin", data}}), {}, 0, "ends before its total of 800 bytes"},
        // A next-volume byte pointing back to a volume already read.
        {Stream(800, {{"A.bin", data}}), {300}, 1, "next volume is given as 1"},
        // The total is reached while a file is still incomplete.
        {Stream(300, {{"A.bin", data}}), {}, 0, "still 100 bytes short"},
        // More data than the total.
        {Stream(400, {{"A.bin", data}, {"B.bin", "x"}}), {}, 0, "\"B.bin\" lies beyond"},
        // More data than the total, ending inside the last chunk.
        {Stream(301, {{"A.bin", data.substr(0, 300)}, {"B.bin", "xyz"}}),
         {},
         0,
         "303 bytes of file data, more than its total of 301"},
        {testset::Int32(-5), {}, 0, "total size is negative"},
        {"\x10\x27", {}, 0, "total runs past the end"},
    };
    for (const Case& test : cases) {
        testset::WriteVolumes(volumes_, test.stream, test.cuts, {}, test.lastByte);
        const std::string message = RunDamaged();
        EXPECT_NE(message.find(test.fault), std::string::npos) << test.fault << " / " << message;
        // The volume is named by its full host path, in the folder it was read from.
        EXPECT_EQ(message.rfind("The data volume " + volumes_.string() + "/Setup.d", 0), 0u)
            << message;
        DataFile.reset();
        ResetOutFile();
    }
}

TEST_F(ExtractThreadTest, VolumeOfZeroBytesIsDamagedNotEndless) {
    const std::vector<Record> records = {{"A.bin", Pattern(300, 15)}};
    Write(Stream(records), {100});
    std::filesystem::resize_file(volumes_ / "Setup.d02", 0);
    EXPECT_NE(
        RunDamaged().find("Setup.d02 is damaged at offset 0: the next-volume byte is missing"),
        std::string::npos);
}

TEST_F(ExtractThreadTest, HostileNameWritesNothingOutsideTheFolder) {
    const std::vector<Record> records = {{"Good.txt", "fine"},
                                         {"..\\..\\..\\windows\\system32\\evil.dll", "bad"}};
    Write(Stream(records), {});
    const std::string message = RunDamaged();
    EXPECT_NE(message.find("evil.dll"), std::string::npos);
    EXPECT_EQ(InstalledContent("Good.txt"), "fine");
    EXPECT_FALSE(
        std::filesystem::exists(prefix_ / "drive_c" / "windows" / "system32" / "evil.dll"));
    // The refused name is not in the log either.
    EXPECT_EQ(CloseLog(), ExpectedLog({"Good.txt"}));
}

}  // namespace

// A scope inside another, left by an exception: each seam it set is back at the
// outer scope's value (not at a value set in between), and one it did not set
// keeps what it had.
TEST_F(ExtractThreadTest, CopyingScopePutsBackWhatItSetWhenLeftByAnException) {
    copying_->FirstDisk("/media/anna/LINGORA_1");
    ExtractAborted = true;
    ASSERT_TRUE(Files().MakeSureDirectoryPathExists("C:\\Elsewhere\\"));
    TLogFile other("C:\\Elsewhere", "Lingora");
    struct View : IExtractView {
        void StepProgress() override {}
        bool AskForDisk(const std::string&) override { return true; }
        bool ConfirmAbandon() override { return true; }
        void Finish(int) override {}
    } view;
    try {
        TCopyingScope inner;
        EXPECT_FALSE(ExtractAborted) << "a copying starts as not abandoned";
        inner.Into(other, "C:\\Elsewhere").From({"/a"}).From({"/b"}).View(&view).Stop([] {
            return true;
        });
        EXPECT_EQ(ExtractPars.Sources, std::vector<std::string>{"/b"});
        EXPECT_EQ(ExtractPars.LogFile, &other);
        EXPECT_EQ(ExtractView, &view);
        throw std::runtime_error("left part-way");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(ExtractPars.LogFile, log_.get());
    EXPECT_EQ(ExtractPars.TargetFolder, kTarget);
    EXPECT_EQ(ExtractPars.Sources, std::vector<std::string>{volumes_.string()});
    EXPECT_EQ(ExtractView, nullptr);
    EXPECT_FALSE(ExtractStopRequested);
    EXPECT_EQ(FirstDiskFolder, "/media/anna/LINGORA_1");
}
