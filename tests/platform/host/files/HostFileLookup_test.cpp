// What the host file system keeps between calls (the drive links, the folder
// listings) against changes that other programs make, including changes that
// leave a folder's modification time as it was (made in the same clock tick).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/Platform.h"
#include "platform/WinTypes.h"
#include "tests/support/TempDrive.h"

namespace fs = std::filesystem;

namespace {

class HostFileLookupTest : public testing::Test {
  protected:
    fs::path DriveC() const { return prefix_.Folder() / "drive_c"; }
    fs::path DosDevices() const { return prefix_.Folder() / "dosdevices"; }

    void PointC(const std::string& target) {
        fs::remove(DosDevices() / "c:");
        fs::create_directory_symlink(target, DosDevices() / "c:");
    }

    std::unique_ptr<IFileStream> Create(const std::string& path, std::uint32_t& error) {
        return Files().CreateAlways(path, error);
    }

    TempDrive prefix_;
};

// Another program's change that leaves the folder's time unchanged.
template <typename Change>
void Unnoticed(const fs::path& folder, Change change) {
    const auto time = fs::last_write_time(folder);
    change();
    fs::last_write_time(folder, time);
}

}  // namespace

TEST_F(HostFileLookupTest, ADriveLinkChangedElsewhereIsFollowed) {
    fs::create_directory(prefix_.Folder() / "elsewhere");
    std::ofstream(prefix_.Folder() / "elsewhere" / "There.txt") << "x";
    // A dosdevices folder unchanged for an hour: its links are kept between calls.
    fs::last_write_time(DosDevices(), fs::last_write_time(DosDevices()) - std::chrono::hours(1));
    EXPECT_FALSE(Files().FileExists("C:\\There.txt"));
    EXPECT_FALSE(Files().FileExists("C:\\There.txt"));

    PointC("../elsewhere");
    EXPECT_TRUE(Files().FileExists("C:\\There.txt"));
    PointC("../drive_c");
    EXPECT_FALSE(Files().FileExists("C:\\There.txt"));
}

TEST_F(HostFileLookupTest, LinksReadInTheTickOfTheirFolderChangeAreNotKept) {
    fs::create_directory(prefix_.Folder() / "elsewhere");
    std::ofstream(prefix_.Folder() / "elsewhere" / "There.txt") << "x";
    // The folder's time is not yet past: a later change could carry the same time.
    fs::last_write_time(DosDevices(), fs::file_time_type::clock::now() + std::chrono::hours(1));
    EXPECT_FALSE(Files().FileExists("C:\\There.txt"));
    Unnoticed(DosDevices(), [&] { PointC("../elsewhere"); });
    EXPECT_TRUE(Files().FileExists("C:\\There.txt"));
}

TEST_F(HostFileLookupTest, CreatingBesideUnnoticedChangesKeepsEveryGuarantee) {
    ASSERT_TRUE(Files().CreateDirectory("C:\\Dir"));
    const fs::path dir = DriveC() / "Dir";
    std::uint32_t error = 0;
    // The first create lists the folder; the following ones answer from the listing.
    ASSERT_NE(Create("C:\\Dir\\First.dat", error), nullptr);
    ASSERT_NE(Create("C:\\Dir\\Second.dat", error), nullptr);

    // A file of the very name: opened and emptied, not created beside it.
    Unnoticed(dir, [&] { std::ofstream(dir / "Outside.dat") << "outside content"; });
    {
        auto stream = Create("C:\\Dir\\Outside.dat", error);
        ASSERT_NE(stream, nullptr) << error;
        EXPECT_EQ(stream->Write("new", 3), 3u);
    }
    EXPECT_EQ(TempFolder::ReadFile(dir / "Outside.dat"), "new");

    // A FIFO is refused without blocking.
    Unnoticed(dir, [&] { ASSERT_EQ(mkfifo((dir / "Pipe.dat").c_str(), 0600), 0); });
    EXPECT_EQ(Create("C:\\Dir\\Pipe.dat", error), nullptr);
    EXPECT_EQ(error, win::ERROR_ACCESS_DENIED);

    // A folder is refused.
    Unnoticed(dir, [&] { fs::create_directory(dir / "Folder.dat"); });
    EXPECT_EQ(Create("C:\\Dir\\Folder.dat", error), nullptr);
    EXPECT_EQ(error, win::ERROR_ACCESS_DENIED);

    // A file open elsewhere is not shared, and keeps its content.
    Unnoticed(dir, [&] { std::ofstream(dir / "Open.dat") << "kept"; });
    auto reader = Files().OpenRead("C:\\Dir\\Open.dat", error);
    ASSERT_NE(reader, nullptr) << error;
    EXPECT_EQ(Create("C:\\Dir\\Open.dat", error), nullptr);
    EXPECT_EQ(error, win::ERROR_SHARING_VIOLATION);
    reader.reset();
    EXPECT_EQ(TempFolder::ReadFile(dir / "Open.dat"), "kept");

    // Names made here are found in any case; a name in another case is not doubled.
    {
        auto stream = Create("C:\\Dir\\second.DAT", error);
        ASSERT_NE(stream, nullptr) << error;
        EXPECT_EQ(stream->Write("again", 5), 5u);
    }
    EXPECT_EQ(TempFolder::ReadFile(dir / "Second.dat"), "again");
    EXPECT_FALSE(fs::exists(dir / "second.DAT"));
}

TEST_F(HostFileLookupTest, CreatingInAFolderThatWentAwayFails) {
    ASSERT_TRUE(Files().CreateDirectory("C:\\Dir"));
    std::uint32_t error = 0;
    ASSERT_NE(Create("C:\\Dir\\First.dat", error), nullptr);
    ASSERT_NE(Create("C:\\Dir\\Second.dat", error), nullptr);
    fs::remove_all(DriveC() / "Dir");
    EXPECT_EQ(Create("C:\\Dir\\Third.dat", error), nullptr);
    EXPECT_EQ(error, win::ERROR_PATH_NOT_FOUND);
    // A file where the folder was.
    std::ofstream(DriveC() / "Dir") << "x";
    EXPECT_EQ(Create("C:\\Dir\\Third.dat", error), nullptr);
    EXPECT_NE(error, 0u);
}

TEST_F(HostFileLookupTest, CreatingAfterTheFolderWasRenamedOrReplacedFollowsThePath) {
    ASSERT_TRUE(Files().CreateDirectory("C:\\Dir"));
    const fs::path dir = DriveC() / "Dir";
    std::uint32_t error = 0;
    ASSERT_NE(Create("C:\\Dir\\First.dat", error), nullptr);
    ASSERT_NE(Create("C:\\Dir\\Second.dat", error), nullptr);

    // Renamed: the path names no folder any more, and nothing is written in
    // the folder under its new name.
    fs::rename(dir, DriveC() / "Moved");
    EXPECT_EQ(Create("C:\\Dir\\Third.dat", error), nullptr);
    EXPECT_EQ(error, win::ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(fs::exists(DriveC() / "Moved" / "Third.dat"));

    // Replaced by another folder of the name: the file goes there.
    fs::create_directory(dir);
    ASSERT_NE(Create("C:\\Dir\\Third.dat", error), nullptr) << error;
    EXPECT_TRUE(fs::exists(dir / "Third.dat"));
    EXPECT_FALSE(fs::exists(DriveC() / "Moved" / "Third.dat"));
    ASSERT_NE(Create("C:\\Dir\\Fourth.dat", error), nullptr) << error;
    EXPECT_TRUE(fs::exists(dir / "Fourth.dat"));
}

TEST_F(HostFileLookupTest, ANameMadeElsewhereInAnotherCaseIsReplacedNotDoubled) {
    ASSERT_TRUE(Files().CreateDirectory("C:\\Dir"));
    const fs::path dir = DriveC() / "Dir";
    std::uint32_t error = 0;
    ASSERT_NE(Create("C:\\Dir\\First.dat", error), nullptr);
    std::ofstream(dir / "THIRD.DAT") << "outside";
    // Made in a later clock tick than Setup's own last change.
    fs::last_write_time(dir, fs::last_write_time(dir) + std::chrono::seconds(1));
    {
        auto stream = Create("C:\\Dir\\Third.dat", error);
        ASSERT_NE(stream, nullptr) << error;
        EXPECT_EQ(stream->Write("new", 3), 3u);
    }
    EXPECT_EQ(TempFolder::ReadFile(dir / "THIRD.DAT"), "new");
    EXPECT_FALSE(fs::exists(dir / "Third.dat"));
}
