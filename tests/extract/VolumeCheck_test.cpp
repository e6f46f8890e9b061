// The check of each volume against the set's digest file, run on the
// user-interface thread itself with a view that answers the damaged-disk
// prompt: damage anywhere in a volume is caught before anything of it is
// installed, a good disk inserted then is taken, and sets without a digest
// file are copied as they always were.
#include <gtest/gtest.h>

#include <fstream>

#include "dialogs/Unit_Constants.h"
#include "extract/Unit_ExtractForm.h"
#include "extract/Unit_ExtractThread.h"
#include "platform/Exceptions.h"
#include "tests/extract/ExtractTestSupport.h"
#include "volumes/Unit_DataFile.h"
#include "volumes/VolumeDigest.h"

using testset::Pattern;
using testset::Record;

namespace fs = std::filesystem;

namespace {

// Answers the prompts as told and notes what was asked and what the
// installation folder held at each damaged-disk prompt.
class AnsweringView : public IExtractView {
  public:
    explicit AnsweringView(std::function<bool(const std::string&)> onDamaged)
        : onDamaged_(std::move(onDamaged)) {}
    void StepProgress() override {}
    bool AskForDisk(const std::string& text) override {
        asked.push_back(text);
        return true;
    }
    bool AskForDamagedDisk(const std::string& text) override {
        asked.push_back(text);
        return onDamaged_(text);
    }
    bool ConfirmAbandon() override { return true; }
    void Finish(int modalResult) override { result = modalResult; }

    std::vector<std::string> asked;
    int result = 0;

  private:
    std::function<bool(const std::string&)> onDamaged_;
};

class VolumeCheckTest : public ExtractTest {
  protected:
    // Three large files over four volumes of 2500 bytes, with a digest file.
    void WriteSet() {
        records_ = {{"A.bin", Pattern(3000, 1)},
                    {"B.bin", Pattern(3000, 2)},
                    {"Sub\\C.bin", Pattern(3000, 3)}};
        set_ = testset::WriteVolumeSet(volumes_, records_, 2500);
        ASSERT_EQ(set_.volumes.size(), 4u);
        testset::WriteDigestFile(volumes_, testset::kSetIdentity);
    }
    std::string Volume(int number) const {
        return TempFolder::ReadFile(volumes_ / testset::Name(number));
    }
    void Replace(int number, const std::string& bytes) const {
        std::ofstream(volumes_ / testset::Name(number), std::ios::binary | std::ios::trunc)
            << bytes;
    }
    // File data bytes that the volumes before the given one hold.
    std::int64_t DataBefore(int number) const {
        std::int64_t bytes = -4;  // the total
        for (int volume = 1; volume < number; ++volume)
            bytes += static_cast<std::int64_t>(fs::file_size(set_.volumes[volume - 1])) - 1;
        for (std::size_t i = 0; i < records_.size(); ++i)
            if (set_.headerVolume[i] < number)
                bytes -= static_cast<std::int64_t>(records_[i].name.size()) + 1 + 4;
        return bytes;
    }
    // Bytes of all files in the installation folder, the log aside.
    std::int64_t InstalledBytes() const {
        std::int64_t bytes = 0;
        const fs::path folder = Installed("");
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file() && entry.path().filename() != "Install.log")
                bytes += static_cast<std::int64_t>(entry.file_size());
        return bytes;
    }
    int Run(AnsweringView& view) {
        TCopyingScope copying;
        copying.View(&view);
        TExtractThread thread;
        thread.Execute();
        return view.result;
    }
    // The installation is that of an undamaged set.
    void ExpectWhole() {
        for (const Record& record : records_)
            EXPECT_EQ(InstalledContent(record.name), record.data) << record.name;
        EXPECT_EQ(CloseLog(), ExpectedLog({"A.bin", "B.bin", "Sub\\C.bin"}));
    }

    std::vector<Record> records_;
    testset::VolumeSet set_;
};

std::string DamagedText(int disk) {
    return "Disk " + std::to_string(disk) + " is damaged or belongs to another set. Insert disk " +
           std::to_string(disk) + " of this set in the disk drive and click OK.";
}

// Where a byte of volume 2 is flipped.
enum class Damage { Data, Header, NextVolumeByte };

class VolumeDamageTest : public VolumeCheckTest, public testing::WithParamInterface<Damage> {};

TEST_P(VolumeDamageTest, IsCaughtBeforeTheVolumeIsUsedAndTheGoodDiskIsTaken) {
    WriteSet();
    const std::string good = Volume(2);
    std::size_t at = 100;  // inside the rest of A.bin
    if (GetParam() == Damage::Header) at = good.find("B.bin") + 1;
    if (GetParam() == Damage::NextVolumeByte) at = good.size() - 1;
    ASSERT_LT(at, good.size());
    std::string bad = good;
    bad[at] = static_cast<char>(bad[at] ^ 0x01);
    Replace(2, bad);
    std::int64_t installedAtPrompt = -1;
    AnsweringView view([&](const std::string&) {
        installedAtPrompt = InstalledBytes();
        Replace(2, good);  // the good disk goes in
        return false;      // OK
    });
    EXPECT_EQ(Run(view), 1);
    EXPECT_EQ(view.asked, std::vector<std::string>{DamagedText(2)});
    // Only what volume 1 holds was installed when the prompt came.
    EXPECT_EQ(installedAtPrompt, DataBefore(2));
    ExpectWhole();
}

INSTANTIATE_TEST_SUITE_P(Volume2, VolumeDamageTest,
                         testing::Values(Damage::Data, Damage::Header, Damage::NextVolumeByte));

TEST_F(VolumeCheckTest, DamagedFirstVolumeIsAskedForAsDiskOne) {
    WriteSet();
    const std::string good = Volume(1);
    std::string bad = good;
    bad[2] = static_cast<char>(bad[2] ^ 0x80);  // the total
    Replace(1, bad);
    AnsweringView view([&](const std::string&) {
        EXPECT_EQ(InstalledBytes(), 0);
        Replace(1, good);
        return false;
    });
    EXPECT_EQ(Run(view), 1);
    EXPECT_EQ(view.asked, std::vector<std::string>{DamagedText(1)});
    ExpectWhole();
}

TEST_F(VolumeCheckTest, FirstDiskReplacedByOneWithoutDigestFileMakesAnUncheckedSet) {
    WriteSet();
    const std::string good = Volume(1);
    std::string bad = good;
    bad[20] = static_cast<char>(bad[20] ^ 0x01);
    Replace(1, bad);
    AnsweringView view([&](const std::string&) {
        Replace(1, good);
        fs::remove(volumes_ / "Setup.sum");
        return false;
    });
    EXPECT_EQ(Run(view), 1);
    EXPECT_EQ(view.asked, std::vector<std::string>{DamagedText(1)});
    EXPECT_FALSE(CheckVolumes);
    ExpectWhole();
}

TEST_F(VolumeCheckTest, VolumeOfAnotherSetWithTheSameNameAndSizeIsRefused) {
    // Another set laid out alike: same names and sizes, other bytes.
    const fs::path other = temp_.Path() / "other";
    std::vector<Record> otherRecords = {
        {"A.bin", Pattern(3000, 7)}, {"B.bin", Pattern(3000, 8)}, {"Sub\\C.bin", Pattern(3000, 9)}};
    testset::WriteVolumeSet(other, otherRecords, 2500);
    testset::WriteDigestFile(other, "ffeeddccbbaa99887766554433221100");
    WriteSet();
    const std::string good = Volume(3);
    const std::string ours = TempFolder::ReadFile(volumes_ / "Setup.sum");
    ASSERT_EQ(fs::file_size(other / "Setup.d03"), good.size());

    // Disk 3 of the other set, with its own digest file: another set's identity.
    // Then its volume beside our digest file: the digest does not match.
    int prompts = 0;
    ExtractStepObserver = [&](const char* step) {
        if (std::string(step) != "NextVolume" || VolumeNumber != 2) return;
        for (const char* name : {"Setup.d03", "Setup.sum"})
            fs::copy_file(other / name, volumes_ / name, fs::copy_options::overwrite_existing);
    };
    std::vector<std::string> faults;
    AnsweringView view([&](const std::string&) {
        faults.push_back(VolumeFault);
        if (++prompts == 1) {
            std::ofstream(volumes_ / "Setup.sum", std::ios::binary | std::ios::trunc) << ours;
        } else {
            Replace(3, good);
        }
        return false;
    });
    EXPECT_EQ(Run(view), 1);
    ExtractStepObserver = nullptr;
    EXPECT_EQ(view.asked, std::vector<std::string>(2, DamagedText(3)));
    ASSERT_EQ(faults.size(), 2u);
    EXPECT_NE(faults[0].find("ffeeddccbbaa99887766554433221100"), std::string::npos) << faults[0];
    EXPECT_NE(faults[1].find("digest"), std::string::npos) << faults[1];
    ExpectWhole();
}

TEST_F(VolumeCheckTest, SetWithoutDigestFileIsCopiedAsBeforeWithoutAnyCheck) {
    WriteSet();
    fs::remove(volumes_ / "Setup.sum");
    // A flipped data byte goes unnoticed, as it always did: nothing is checked.
    std::string volume = Volume(2);
    volume[100] = static_cast<char>(volume[100] ^ 0x01);
    Replace(2, volume);
    std::vector<std::string> steps;
    ExtractStepObserver = [&steps](const char* step) { steps.emplace_back(step); };
    AnsweringView view([](const std::string&) { return true; });
    EXPECT_EQ(Run(view), 1);
    ExtractStepObserver = nullptr;
    EXPECT_TRUE(view.asked.empty());
    EXPECT_FALSE(CheckVolumes);
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "ReadTotal"), 0);
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "RefuseVolume"), 0);
    EXPECT_NE(InstalledContent("A.bin"), records_[0].data);
}

TEST_F(VolumeCheckTest, LaterDiskWithoutItsDigestFileOrWithADamagedOneIsRefused) {
    WriteSet();
    const std::string ours = TempFolder::ReadFile(volumes_ / "Setup.sum");
    int prompts = 0;
    AnsweringView view([&](const std::string&) {
        ++prompts;
        if (prompts == 1)  // disk 2 without a digest file: then one cut short
            std::ofstream(volumes_ / "Setup.sum", std::ios::binary) << ours.substr(0, 60);
        else
            std::ofstream(volumes_ / "Setup.sum", std::ios::binary | std::ios::trunc) << ours;
        return false;
    });
    // Disk 1 passes with the digest file; it is gone when disk 2 is opened.
    ExtractStepObserver = [this](const char* step) {
        if (std::string(step) == "NextVolume" && VolumeNumber == 1)
            fs::remove(volumes_ / "Setup.sum");
    };
    EXPECT_EQ(Run(view), 1);
    ExtractStepObserver = nullptr;
    EXPECT_EQ(view.asked, std::vector<std::string>(2, DamagedText(2)));
    ExpectWhole();
}

TEST_F(VolumeCheckTest, HostileDigestFileGetsThePromptAndCancelEndsWithNothingCopied) {
    WriteSet();
    const std::string ours = TempFolder::ReadFile(volumes_ / "Setup.sum");
    for (const std::string& hostile :
         {std::string("Lingora Setup digests 1\nset 00112233445566778899aabbccddeeff\nvolumes "
                      "99999999999\n"),
          std::string(100000, 'x'), std::string("\0\0\0", 3), ours.substr(0, ours.size() - 40)}) {
        std::ofstream(volumes_ / "Setup.sum", std::ios::binary | std::ios::trunc) << hostile;
        AnsweringView view([](const std::string&) { return true; });  // Cancel, then exit
        EXPECT_EQ(Run(view), 2);
        EXPECT_EQ(view.asked, std::vector<std::string>{DamagedText(1)});
        EXPECT_NE(VolumeFault.find("Setup.sum"), std::string::npos) << VolumeFault;
        EXPECT_TRUE(ExtractAborted);
        EXPECT_EQ(InstalledBytes(), 0);
    }
}

// The parser itself: what it refuses, it names; what it writes, it reads back.
TEST(DigestFileTest, ReadsWhatItWritesAndNamesEachFault) {
    const volume::SetDigests set{
        testset::kSetIdentity, {{1, 1474560, std::string(32, 'a')}, {2, 9, std::string(32, '0')}}};
    const std::string text = volume::FormatDigestFile(set);
    EXPECT_EQ(text,
              "Lingora Setup digests 1\nset 00112233445566778899aabbccddeeff\nvolumes 2\n"
              "1 1474560 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\n"
              "2 9 00000000000000000000000000000000\n");
    const volume::SetDigests back = volume::ParseDigestFile(text);
    EXPECT_EQ(back.identity, set.identity);
    ASSERT_EQ(back.volumes.size(), 2u);
    EXPECT_EQ(back.volumes[0].size, 1474560);
    EXPECT_EQ(volume::ParseDigestFile(text.substr(0, text.size() - 1)).volumes.size(), 2u);
    // The longest stored name: written when known, and optional, as in earlier files.
    EXPECT_FALSE(back.longestName);
    volume::SetDigests named = set;
    named.longestName = 27;
    EXPECT_EQ(volume::ParseDigestFile(volume::FormatDigestFile(named)).longestName, 27);
    EXPECT_NE(volume::FormatDigestFile(named).find("\nlongest 27\n"), std::string::npos);

    const auto fault = [](const std::string& text) {
        try {
            volume::ParseDigestFile(text);
        } catch (const volume::EDamagedDigestFile& error) {
            return std::string(error.what());
        }
        return std::string("accepted");
    };
    const std::string head = "Lingora Setup digests 1\nset 00112233445566778899aabbccddeeff\n";
    EXPECT_EQ(fault(head + "volumes 300\n"),
              "The digest file Setup.sum is damaged in line 3: expected \"volumes\" and a number "
              "from 1 to 255");
    EXPECT_EQ(fault(head + "volumes 2\n1 5 " + std::string(32, 'a') + "\n"),
              "The digest file Setup.sum is damaged in line 5: the file ends early");
    EXPECT_EQ(fault(head + "volumes 1\n1 5 " + std::string(32, 'a') + "\n\n"),
              "The digest file Setup.sum is damaged in line 5: more lines than the 1 volumes");
    EXPECT_EQ(fault(head + "volumes 1\n1 5 " + std::string(32, 'A') + "\n"),
              "The digest file Setup.sum is damaged in line 4: expected a volume number, its "
              "size and 32 hex digits");
    EXPECT_EQ(fault(head + "volumes 1\n1 0 " + std::string(32, 'a') + "\n"),
              "The digest file Setup.sum is damaged in line 4: a volume holds at least its "
              "next-volume byte");
    EXPECT_EQ(fault("Lingora Setup digests 2\n"),
              "The digest file Setup.sum is damaged in line 1: it does not start with \"Lingora "
              "Setup digests 1\"");
    EXPECT_NE(fault(std::string(70000, '\n')).find("larger than 65536 bytes"), std::string::npos);
    EXPECT_NE(volume::NewSetIdentity(), volume::NewSetIdentity());
    EXPECT_EQ(volume::NewSetIdentity().size(), 32u);
}

}  // namespace
