// The volume-set tool: its bytes are those of the format, and its check finds
// what the copy would. (That Setup's own copy reads what it builds is tested
// with the copying, in tests/e2e.)
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QProcess>
#include <fstream>
#include <set>

#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/WinTypes.h"
#include "platform/host/files/IsoImage.h"
#include "platform/host/files/PlainFileSystem.h"
#include "tests/support/VolumeToolsFixture.h"
#include "tools/VolumeSetBuilder.h"
#include "volumes/VolumeSetWalker.h"

using testset::Header;
using testset::Pattern;
using testset::Record;

namespace fs = std::filesystem;

namespace {

class VolumeToolsTest : public VolumeToolsFixture<VolumeFolders> {
  protected:
    // Runs setupvol; returns its exit code, with its output in output.
    int Run(const QStringList& arguments, std::string* output = nullptr) {
        QProcess tool;
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(SETUPVOL_PATH, arguments);
        EXPECT_TRUE(tool.waitForFinished(60000));
        if (output != nullptr) *output = tool.readAll().toStdString();
        return tool.exitCode();
    }
};

TEST_F(VolumeToolsTest, HeaderThatWouldNotFitStartsTheNextVolume) {
    Add("A.bin", Pattern(40, 3));
    Add("B.bin", Pattern(10, 4));
    // Volume data parts of 59 bytes: total (4) + A's header (10) + 40 bytes leave
    // 5, too few for B's header (10), so volume 1 ends short.
    const BuildResult result = Build(60);
    EXPECT_EQ(result.volumes, 2);
    EXPECT_EQ(Volume(1).size(), 4u + 10 + 40 + 1);
    EXPECT_EQ(Volume(2), Header("B.bin", 10) + Pattern(10, 4) + '\0');
}

TEST_F(VolumeToolsTest, BuilderAndTheTestsOwnWriterLayOutTheSameSet) {
    // Two writers of the format that share no code: for every volume size from
    // the smallest that holds the longest header up, they must agree byte for
    // byte (headers that just fit or not, data that ends with a volume ...).
    const std::vector<Record> records = {
        {"Empty.txt", ""},
        {"A.bin", Pattern(37, 11)},
        {"B.bin", Pattern(5, 12)},
        {"Sub\\C.dat", Pattern(120, 13)},
    };
    Add("Empty.txt", "");
    Add("A.bin", records[1].data);
    Add("B.bin", records[2].data);
    Add("Sub/C.dat", records[3].data);
    const fs::path built = temp_.Path() / "built";
    const fs::path written = temp_.Path() / "written";
    for (std::size_t size = 15; size <= 240; size += size < 60 ? 1 : 60) {
        SCOPED_TRACE("volume size " + std::to_string(size));
        const BuildResult result =
            BuildVolumeSet({Source(), built, static_cast<std::int64_t>(size)});
        const testset::VolumeSet set = testset::WriteVolumeSet(written, records, size);
        ASSERT_EQ(set.volumes.size(), static_cast<std::size_t>(result.volumes));
        for (int number = 1; number <= result.volumes; ++number) {
            EXPECT_EQ(set.volumes[number - 1], written / testset::Name(number));
            EXPECT_EQ(TempFolder::ReadFile(written / testset::Name(number)),
                      TempFolder::ReadFile(built / testset::Name(number)))
                << testset::Name(number);
        }
        ASSERT_EQ(set.headerVolume.size(), records.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            const std::string header =
                Header(records[i].name, static_cast<std::int32_t>(records[i].data.size()));
            EXPECT_NE(
                TempFolder::ReadFile(written / testset::Name(set.headerVolume[i])).find(header),
                std::string::npos)
                << records[i].name;
        }
    }
    // A header larger than a volume cannot be written.
    EXPECT_THROW(testset::WriteVolumeSet(written, records, 14), std::invalid_argument);
}

TEST_F(VolumeToolsTest, PlainFilesOpenOnlyRegularFilesAndNameTheirErrors) {
    PlainFileSystem plain;
    const std::string folder = (temp_.Path() / "plain").string();
    fs::create_directories(folder);
    std::uint32_t error = 0;

    EXPECT_EQ(plain.OpenRead(folder + "/missing", error), nullptr);
    EXPECT_EQ(error, win::ERROR_FILE_NOT_FOUND);
    // A folder opens for reading on the host, but it is no file.
    EXPECT_EQ(plain.OpenRead(folder, error), nullptr);
    EXPECT_EQ(error, win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(plain.CreateAlways(folder, error), nullptr);
    EXPECT_EQ(error, win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(plain.OpenRead("/dev/null", error), nullptr);
    EXPECT_EQ(error, win::ERROR_ACCESS_DENIED);
    temp_.WriteFile("plain/file", "x");
    EXPECT_EQ(plain.CreateAlways(folder + "/file/below", error), nullptr);
    EXPECT_EQ(error, win::ERROR_PATH_NOT_FOUND);

    auto created = plain.CreateAlways(folder + "/file", error);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(created->Size(), 0);  // truncated
    EXPECT_EQ(created->Write("volume", 6), 6u);
    EXPECT_EQ(created->Seek(1, SeekOrigin::Begin), 1);
    char bytes[8] = {};
    EXPECT_EQ(created->Read(bytes, sizeof bytes), 5u);
    EXPECT_EQ(std::string(bytes, 5), "olume");
    EXPECT_EQ(created->LastError(), 0u);
    EXPECT_TRUE(created->Close());
    // A closed stream touches no descriptor that may since belong to another file.
    EXPECT_EQ(created->Read(bytes, 1), 0u);
    EXPECT_EQ(created->Write("x", 1), 0u);
    EXPECT_EQ(created->LastError(), win::ERROR_INVALID_HANDLE);
    EXPECT_EQ(TempFolder::ReadFile(folder + "/file"), "volume");

    auto read = plain.OpenRead(folder + "/file", error);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->Size(), 6);
    // Writing through a stream opened for reading fails and says so.
    EXPECT_EQ(read->Write("x", 1), 0u);
    EXPECT_NE(read->LastError(), 0u);
}

TEST_F(VolumeToolsTest, ClearErrorsForSourcesThatCannotBeStored) {
    auto buildError = [this](std::int64_t volumeSize) {
        try {
            Build(volumeSize);
        } catch (const BuildError& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    Add("日本.txt", "x");
    EXPECT_NE(buildError(0).find("cannot be stored in Windows-1252"), std::string::npos);
    fs::remove_all(Source());

    Add("Lingora.exe", "x");
    fs::create_symlink(temp_.Path() / "nowhere", Source() / "Broken.lnk");
    EXPECT_NE(buildError(0).find("Broken.lnk\" is not a regular file"), std::string::npos);
    fs::remove(Source() / "Broken.lnk");

    // Sparse files: too large for the 32-bit total, found before anything is read.
    for (const char* name : {"Big1.bin", "Big2.bin"}) {
        std::ofstream(Source() / name).close();
        fs::resize_file(Source() / name, 1100000000);
    }
    EXPECT_NE(buildError(0).find("too large"), std::string::npos);
    fs::remove(Source() / "Big1.bin");
    fs::remove(Source() / "Big2.bin");

    EXPECT_NE(buildError(8).find("too small for the record of \"Lingora.exe\""), std::string::npos);
    // Nothing of the failed builds is left behind.
    EXPECT_TRUE(fs::is_empty(volumes_));
}

TEST_F(VolumeToolsTest, NewSetReplacesAnOldOneWhole) {
    Add("A.bin", Pattern(5000, 5));
    ASSERT_EQ(Build(1500).volumes, 4);
    fs::remove_all(Source());
    Add("Small.txt", "small");
    ASSERT_EQ(Build(0).volumes, 1);
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(volumes_))
        names.insert(entry.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"Setup.d01", "Setup.sum"}));

    // The old volumes go as Setup reads volume names (in any case, with a
    // version suffix); files that name no volume of a set are not the set's.
    for (const char* name : {"SETUP.D02;1", "setup.d255", "Setup.d00", "Setup.d256", "Setup.d1"})
        std::ofstream(volumes_ / name) << "old";
    ASSERT_EQ(Build(0).volumes, 1);
    names.clear();
    for (const auto& entry : fs::directory_iterator(volumes_))
        names.insert(entry.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"Setup.d01", "Setup.sum", "Setup.d00", "Setup.d256",
                                            "Setup.d1"}));
}

TEST_F(VolumeToolsTest, CheckAndListThroughTheCommandLine) {
    SampleFiles();
    const QString folder = QString::fromStdString(volumes_.string());
    std::string output;
    ASSERT_EQ(
        Run({"build", QString::fromStdString(Source().string()), folder, "--volume-size", "1000"},
            &output),
        0)
        << output;
    EXPECT_EQ(Run({"check", folder}, &output), 0) << output;
    EXPECT_EQ(output, "whole: 4 files, 3404 bytes in 4 volumes, digests match\n");
    EXPECT_EQ(Run({"list", folder}, &output), 0);
    EXPECT_NE(output.find("         900  Sub\\Deeper\\File.dat\n"), std::string::npos) << output;
    EXPECT_NE(output.find("           4  Café.txt\n"), std::string::npos) << output;

    // A negative size in the header of Sub\Deeper\File.dat: the fault with its place,
    // once the digest file is gone (with it, the digest names the volume first).
    fs::remove(volumes_ / "Setup.sum");
    const std::string stored = std::string("Sub\\Deeper\\File.dat") + '\0';
    int number = 1;
    std::string volume = Volume(number);
    while (volume.find(stored) == std::string::npos && number < 4) volume = Volume(++number);
    const std::size_t at = volume.find(stored);
    ASSERT_NE(at, std::string::npos);
    volume.replace(at + stored.size(), 4, testset::Int32(-1));
    std::ofstream(volumes_ / testset::Name(number), std::ios::binary) << volume;
    EXPECT_EQ(Run({"check", folder}, &output), 1);
    // The volume is named by its full path: the tool reads no volume through its
    // working folder.
    EXPECT_EQ(output, "lingora-setupvol: The data volume " +
                          (volumes_ / testset::Name(number)).string() + " is damaged at offset " +
                          std::to_string(at) +
                          ": the file \"Sub\\Deeper\\File.dat\" has a negative size\n");
    fs::remove(volumes_ / "Setup.d03");
    EXPECT_EQ(Run({"check", folder}, &output), 1);
    EXPECT_NE(output.find("Setup.d03"), std::string::npos) << output;
    EXPECT_EQ(Run({"check", QString::fromStdString((temp_.Path() / "none").string())}), 1);
    EXPECT_EQ(Run({"build", "only-one"}), 2);
    EXPECT_EQ(Run({"build", "a", "b", "--volume-size", "huge"}), 2);
}

// The images that build --images writes are disks that check and list read
// without mounting: the same verdicts as on the folder, a missing disk named,
// a cut image refused.
TEST_F(VolumeToolsTest, CheckAndListReadDiskImagesUnmounted) {
    SampleFiles();
    const fs::path images = temp_.Path() / "images";
    std::string output;
    ASSERT_EQ(Run({"build", QString::fromStdString(Source().string()),
                   QString::fromStdString(volumes_.string()), "--volume-size", "1000", "--images",
                   QString::fromStdString(images.string())},
                  &output),
              0)
        << output;
    QStringList disks;
    for (int number = 1; number <= 4; ++number)
        disks << QString::fromStdString(
            (images / ("disk" + std::to_string(number) + ".iso")).string());
    EXPECT_EQ(Run(QStringList{"check"} + disks, &output), 0) << output;
    EXPECT_EQ(output, "whole: 4 files, 3404 bytes in 4 volumes, digests match\n");
    std::string fromFolder;
    Run({"list", QString::fromStdString(volumes_.string())}, &fromFolder);
    EXPECT_EQ(Run(QStringList{"list"} + disks, &output), 0);
    EXPECT_EQ(output, fromFolder);

    // Disk 3 left out: its volume is named as missing.
    EXPECT_EQ(Run({"check", disks[0], disks[1], disks[3]}, &output), 1);
    EXPECT_NE(output.find("Setup.d03"), std::string::npos) << output;

    // Disk 2 cut short inside its volume.
    const std::string whole = TempFolder::ReadFile(disks[1].toStdString());
    const iso::ImageFile volume = iso::FindInImage(disks[1].toStdString(), "Setup.d02");
    ASSERT_EQ(volume.status, iso::ImageFile::Status::Found);
    std::ofstream(disks[1].toStdString(), std::ios::binary | std::ios::trunc)
        << whole.substr(0, volume.offset + 10);
    EXPECT_EQ(Run(QStringList{"check"} + disks, &output), 1);
    EXPECT_NE(output.find("Setup.d02"), std::string::npos) << output;

    // A file that is no image is no disk.
    const fs::path text = temp_.WriteFile("notes.iso", "not an image");
    EXPECT_EQ(Run({"check", QString::fromStdString(text.string())}, &output), 1);
    EXPECT_NE(output.find("not a folder nor an ISO 9660 image"), std::string::npos) << output;
}

// A volume that is a FIFO is refused at once, not waited on.
TEST_F(VolumeToolsTest, CheckRefusesAVolumeThatIsNoFileAtOnce) {
    Add("A.bin", Pattern(3000, 6));
    ASSERT_EQ(Build(1500).volumes, 3);
    fs::remove(volumes_ / "Setup.d02");
    ASSERT_EQ(::mkfifo((volumes_ / "Setup.d02").c_str(), 0644), 0);
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(SETUPVOL_PATH, {"check", QString::fromStdString(volumes_.string())});
    const bool ended = tool.waitForFinished(10000);
    if (!ended) tool.kill();
    ASSERT_TRUE(ended) << "setupvol check waits on a FIFO";
    const std::string output = tool.readAll().toStdString();
    EXPECT_EQ(tool.exitCode(), 1) << output;
    EXPECT_NE(output.find("Setup.d02"), std::string::npos) << output;
}

// A Setup.sum that is no file is a damaged digest file, as Setup takes it.
TEST_F(VolumeToolsTest, CheckRefusesADigestFileThatIsNoFile) {
    Add("A.bin", Pattern(3000, 6));
    ASSERT_EQ(Build(1500).volumes, 3);
    const fs::path digest = volumes_ / "Setup.sum";
    const QString folder = QString::fromStdString(volumes_.string());
    std::string output;
    fs::remove(digest);
    fs::create_directory(digest);
    EXPECT_EQ(Run({"check", folder}, &output), 1) << output;
    EXPECT_NE(output.find("not a file but a folder"), std::string::npos) << output;
    fs::remove(digest);
    ASSERT_EQ(::mkfifo(digest.c_str(), 0644), 0);
    EXPECT_EQ(Run({"check", folder}, &output), 1) << output;
    EXPECT_NE(output.find("Setup.sum"), std::string::npos) << output;
}

TEST_F(VolumeToolsTest, DigestFileIsTheSetsOwnAndCheckNamesTheFirstDamagedVolume) {
    Add("A.bin", Pattern(5000, 5));
    ASSERT_EQ(Build(1500).volumes, 4);
    // The digest file, read with the tests' own reader of the volumes.
    const std::string digests = TempFolder::ReadFile(volumes_ / "Setup.sum");
    const std::size_t identityAt = digests.find("\nset ") + 5;
    const std::string identity = digests.substr(identityAt, 32);
    // The longest stored name, "A.bin", closes it.
    EXPECT_EQ(digests, testset::DigestFileText(volumes_, identity) + "longest 5\n");
    ASSERT_EQ(Build(1500).volumes, 4);
    EXPECT_NE(TempFolder::ReadFile(volumes_ / "Setup.sum").substr(identityAt, 32), identity)
        << "every build is a set of its own";

    const QString folder = QString::fromStdString(volumes_.string());
    std::string output;
    for (const int number : {3, 2}) {
        std::string volume = Volume(number);
        volume[700] = static_cast<char>(volume[700] ^ 0x40);  // file data: the walk cannot see it
        std::ofstream(volumes_ / testset::Name(number), std::ios::binary) << volume;
    }
    EXPECT_EQ(Run({"check", folder}, &output), 1);
    EXPECT_EQ(
        output.rfind("lingora-setupvol: The data volume " + (volumes_ / "Setup.d02").string() +
                         " is damaged or belongs to another set: its digest is ",
                     0),
        0u)
        << output;
    std::ofstream(volumes_ / "Setup.sum", std::ios::binary | std::ios::app) << "5 1 ab\n";
    EXPECT_EQ(Run({"check", folder}, &output), 1);
    EXPECT_EQ(
        output,
        "lingora-setupvol: The digest file Setup.sum is damaged in line 9: more lines than the 4 "
        "volumes\n");
    // Without it, the structure alone, as before.
    fs::remove(volumes_ / "Setup.sum");
    EXPECT_EQ(Run({"check", folder}, &output), 0) << output;
    EXPECT_EQ(output, "whole: 1 files, 5000 bytes in 4 volumes, no digest file\n");
}

TEST_F(VolumeToolsTest, CheckFindsWhatTheCopyRefuses) {
    // The walker in this process, on hostile and short sets from the test's own writer.
    PlainFileSystem plain;
    ScopedPlatform platform(Platform{&plain, nullptr, nullptr, nullptr});
    testset::WriteVolumes(volumes_, testset::Stream({{"..\\evil.dll", "x"}}), {});
    EXPECT_THROW(WalkVolumeSet([](const WalkedRecord&) {}, InSetFolder(volumes_.string())),
                 EDamagedVolume);
    testset::WriteVolumes(volumes_, testset::Stream(900, {{"A.bin", Pattern(400, 1)}}), {});
    EXPECT_THROW(WalkVolumeSet([](const WalkedRecord&) {}, InSetFolder(volumes_.string())),
                 EDamagedVolume);
    testset::WriteVolumes(volumes_, testset::Stream(400, {{"A.bin", Pattern(400, 1)}, {"B", "x"}}),
                          {});
    EXPECT_THROW(WalkVolumeSet([](const WalkedRecord&) {}, InSetFolder(volumes_.string())),
                 EDamagedVolume);
    testset::WriteVolumes(volumes_, testset::Stream(400, {{"A.bin", Pattern(400, 1)}, {"B", ""}}),
                          {100});
    int records = 0;
    EXPECT_EQ(WalkVolumeSet([&records](const WalkedRecord&) { ++records; },
                            InSetFolder(volumes_.string()))
                  .volumes,
              2);
    EXPECT_EQ(records, 2);
}

}  // namespace
