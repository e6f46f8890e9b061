// The contract of IFileSystem, run against the host machine on a temporary
// prefix, and against the doubles in their pass-through state, so that the
// doubles and the real thing cannot drift apart.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>

#include "platform/CodePage.h"
#include "platform/WinTypes.h"
#include "tests/support/Doubles.h"
#include "tests/support/TempPrefix.h"

namespace fs = std::filesystem;

namespace {

using Wrap = std::function<std::unique_ptr<IFileSystem>(IFileSystem&)>;

struct Variant {
    const char* name;
    Wrap wrap;  // null: the host file system itself
};

void PrintTo(const Variant& variant, std::ostream* out) { *out << variant.name; }

std::vector<Variant> Variants() {
    return {
        {"Host", nullptr},
        {"Forwarding",
         [](IFileSystem& inner) { return std::make_unique<ForwardingFileSystem>(inner); }},
        {"FailingWriteNever",
         [](IFileSystem& inner) { return std::make_unique<FailingWriteFileSystem>(inner, -1); }},
        {"DiskFullLater",
         [](IFileSystem& inner) { return std::make_unique<DiskFullFileSystem>(inner, 1u << 30); }},
        {"DenyingElsewhere",
         [](IFileSystem& inner) {
             return std::make_unique<DenyingFileSystem>(inner, "C:\\Elsewhere");
         }},
    };
}

std::string Content(IFileStream& stream) {
    std::string text(static_cast<std::size_t>(stream.Size()), '\0');
    stream.Seek(0, SeekOrigin::Begin);
    text.resize(stream.Read(text.data(), text.size()));
    return text;
}

}  // namespace

class FileSystemContract : public testing::TestWithParam<Variant> {
  protected:
    void SetUp() override {
        if (GetParam().wrap) {
            wrapper_ = GetParam().wrap(prefix_.Machine().Files());
            Platform platform = prefix_.Machine().GetPlatform();
            platform.files = wrapper_.get();
            installed_ = std::make_unique<ScopedPlatform>(platform);
        }
    }

    IFileSystem& FilesUnderTest() { return Files(); }
    fs::path DriveC() const { return prefix_.Folder() / "drive_c"; }

    std::unique_ptr<IFileStream> MustCreate(const std::string& path, const std::string& content) {
        EXPECT_TRUE(Files().MakeSureDirectoryPathExists(path)) << path;
        std::uint32_t error = 0;
        auto stream = Files().CreateAlways(path, error);
        EXPECT_NE(stream, nullptr) << path << ": error " << error;
        if (stream) {
            EXPECT_EQ(stream->Write(content.data(), content.size()), content.size());
        }
        return stream;
    }

    TempPrefix prefix_;
    std::unique_ptr<IFileSystem> wrapper_;
    std::unique_ptr<ScopedPlatform> installed_;
};

TEST_P(FileSystemContract, StreamsWriteThroughReadBackAndTruncate) {
    auto stream = MustCreate("C:\\Program Files\\Data.BIN", "hello world");
    // Unbuffered: the host sees the bytes while the stream is still open.
    EXPECT_EQ(TempFolder::ReadFile(DriveC() / "Program Files" / "Data.BIN"), "hello world");
    EXPECT_EQ(stream->Position(), 11);
    EXPECT_EQ(stream->Seek(-5, SeekOrigin::End), 6);
    char word[5];
    EXPECT_EQ(stream->Read(word, 5), 5u);
    EXPECT_EQ(std::string(word, 5), "world");
    EXPECT_EQ(stream->Read(word, 5), 0u);  // at the end
    EXPECT_EQ(stream->Seek(-1, SeekOrigin::Begin), -1);
    EXPECT_NE(stream->LastError(), 0u);
    EXPECT_TRUE(stream->Flush());
    EXPECT_TRUE(stream->Close());
    EXPECT_EQ(stream->Write("x", 1), 0u);  // closed
    stream.reset();

    // Existing names are found in any case; the stored case stays.
    std::uint32_t error = 0;
    auto again = Files().CreateAlways("c:\\PROGRAM FILES\\data.bin", error);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Size(), 0);  // emptied
    again.reset();
    EXPECT_TRUE(fs::exists(DriveC() / "Program Files" / "Data.BIN"));
    EXPECT_FALSE(fs::exists(DriveC() / "Program Files" / "data.bin"));
}

TEST_P(FileSystemContract, NamesAreConvertedFromTheAnsiCodePageAndFoldedAsWindowsDoes) {
    MustCreate("C:\\\xC9t\xE9\\Caf\xE9 \x80.txt", "e");  // "Été\Café €.txt"
    EXPECT_TRUE(fs::exists(DriveC() / "\xC3\x89t\xC3\xA9" / "Caf\xC3\xA9 \xE2\x82\xAC.txt"));
    EXPECT_TRUE(Files().FileExists("C:\\\xE9T\xC9\\CAF\xC9 \x80.TXT"));
    const auto found = Files().FindFiles("C:\\\xC9t\xE9\\*.TXT");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "Caf\xE9 \x80.txt");
}

TEST_P(FileSystemContract, LookupsFollowChangesMadeHereAndElsewhere) {
    ASSERT_TRUE(Files().CreateDirectory("C:\\Dir"));
    const fs::path dir = DriveC() / "Dir";
    // Another program adds a name; the folder's time moves, whatever its resolution.
    fs::last_write_time(dir, fs::last_write_time(dir) - std::chrono::hours(1));
    EXPECT_FALSE(Files().FileExists("C:\\Dir\\readme.txt"));
    std::ofstream(dir / "ReadMe.TXT") << "outside";
    EXPECT_TRUE(Files().FileExists("C:\\Dir\\readme.txt"));

    // Names this machine adds and removes are seen at once.
    for (int i = 0; i < 50; ++i) MustCreate("C:\\Dir\\File" + std::to_string(i) + ".dat", "x");
    EXPECT_TRUE(Files().FileExists("C:\\DIR\\FILE49.DAT"));
    EXPECT_TRUE(Files().DeleteFile("c:\\dir\\file7.dat"));
    EXPECT_FALSE(Files().FileExists("C:\\Dir\\File7.dat"));
    MustCreate("C:\\Dir\\FILE7.DAT", "again");
    EXPECT_TRUE(fs::exists(dir / "FILE7.DAT"));
    EXPECT_FALSE(fs::exists(dir / "File7.dat"));
    EXPECT_FALSE(Files().RemoveDirectory("C:\\Dir"));  // not empty
}

TEST_P(FileSystemContract, OpenFailuresNameTheMissingPart) {
    std::uint32_t error = 0;
    EXPECT_EQ(Files().OpenRead("C:\\Program Files\\none.txt", error), nullptr);
    EXPECT_EQ(error, win::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Files().OpenRead("C:\\No Folder\\none.txt", error), nullptr);
    EXPECT_EQ(error, win::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Files().CreateAlways("C:\\No Folder\\new.txt", error), nullptr);
    EXPECT_EQ(error, win::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Files().CreateAlways("C:\\Program Files", error), nullptr);  // a folder
    EXPECT_EQ(error, win::ERROR_ACCESS_DENIED);
    // The empty path names nothing (not the current directory).
    EXPECT_EQ(Files().OpenRead("", error), nullptr);
    EXPECT_EQ(error, win::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Files().GetFileAttributes(""), win::INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(Files().MakeSureDirectoryPathExists(""));
    EXPECT_TRUE(Files().FindFiles("").empty());
    EXPECT_EQ(Files().GetFullPathName(""), "");
    EXPECT_EQ(Files().OpenRead("C:\\a|b.txt", error), nullptr);
    EXPECT_EQ(error, win::ERROR_INVALID_NAME);
    // A FIFO is no file: refused at once instead of waiting for a writer.
    ASSERT_EQ(mkfifo((DriveC() / "pipe").c_str(), 0666), 0);
    EXPECT_EQ(Files().OpenRead("C:\\pipe", error), nullptr);
    EXPECT_EQ(error, win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(Files().CreateAlways("C:\\pipe", error), nullptr);
}

TEST_P(FileSystemContract, AFileOpenForReadingIsSharedWithNobody) {
    MustCreate("C:\\Setup.d01", "volume");
    std::uint32_t error = 0;
    auto reader = Files().OpenRead("C:\\setup.d01", error);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(Files().OpenRead("C:\\Setup.d01", error), nullptr);
    EXPECT_EQ(error, win::ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Files().CreateAlways("C:\\Setup.d01", error), nullptr);
    EXPECT_EQ(error, win::ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Content(*reader), "volume");  // the refused create emptied nothing
    reader.reset();
    EXPECT_NE(Files().OpenRead("C:\\Setup.d01", error), nullptr);
}

TEST_P(FileSystemContract, AttributesAndExistence) {
    MustCreate("C:\\file.txt", "x");
    EXPECT_EQ(Files().GetFileAttributes("C:\\Program Files") & win::FILE_ATTRIBUTE_DIRECTORY,
              win::FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(Files().GetFileAttributes("C:\\FILE.TXT") & win::FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(Files().GetFileAttributes("C:\\none"), win::INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(Files().FileExists("C:\\file.txt"));
    EXPECT_FALSE(Files().FileExists("C:\\Program Files"));
    EXPECT_FALSE(Files().FileExists("C:\\none"));

    // A folder is a folder with its trailing backslash too, a drive root included.
    EXPECT_EQ(Files().GetFileAttributes("C:\\program files\\") & win::FILE_ATTRIBUTE_DIRECTORY,
              win::FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(Files().GetFileAttributes("C:\\") & win::FILE_ATTRIBUTE_DIRECTORY,
              win::FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(Files().GetFileAttributes("C:\\none\\"), win::INVALID_FILE_ATTRIBUTES);
}

TEST_P(FileSystemContract, FoldersAreMadeAndRemovedOneByOne) {
    EXPECT_FALSE(Files().CreateDirectory("C:\\A\\B"));  // parent missing
    EXPECT_TRUE(Files().CreateDirectory("C:\\A"));
    EXPECT_FALSE(Files().CreateDirectory("C:\\a"));  // exists
    EXPECT_TRUE(Files().MakeSureDirectoryPathExists("C:\\A\\B\\C\\file.txt"));
    EXPECT_TRUE(fs::is_directory(DriveC() / "A" / "B" / "C"));
    EXPECT_FALSE(fs::exists(DriveC() / "A" / "B" / "C" / "file.txt"));
    EXPECT_TRUE(Files().MakeSureDirectoryPathExists("C:\\A\\B\\D\\"));
    EXPECT_TRUE(fs::is_directory(DriveC() / "A" / "B" / "D"));

    std::uint32_t error = 0;
    EXPECT_NE(Files().CreateAlways("C:\\A\\B\\C\\file.txt", error), nullptr);
    EXPECT_FALSE(Files().MakeSureDirectoryPathExists("C:\\A\\B\\C\\file.txt\\x"));
    EXPECT_FALSE(Files().RemoveDirectory("C:\\A\\B\\C"));  // not empty
    EXPECT_FALSE(Files().DeleteFile("C:\\A\\B\\C"));       // a folder
    EXPECT_TRUE(Files().DeleteFile("c:\\a\\b\\c\\FILE.TXT"));
    EXPECT_FALSE(Files().DeleteFile("C:\\A\\B\\C\\file.txt"));
    EXPECT_TRUE(Files().RemoveDirectory("C:\\A\\B\\C"));
    EXPECT_FALSE(fs::exists(DriveC() / "A" / "B" / "C"));
}

// The removal's walk: each name looked up below the base without following a
// link (a link on the way is not the base's), a last name that is a link
// removed as the link, names matched ignoring case, links in the base followed.
TEST_P(FileSystemContract, RemoveBelowNeverFollowsALinkBelowItsBase) {
    MustCreate("C:\\Base\\Sub\\File.txt", "x");
    MustCreate("C:\\Outside\\Kept.txt", "kept");
    fs::create_directory_symlink(DriveC() / "Outside", DriveC() / "Base" / "Linked");
    fs::create_symlink(DriveC() / "Outside" / "Kept.txt", DriveC() / "Base" / "Pointer.txt");
    fs::create_directory_symlink(DriveC() / "Base", DriveC() / "Through");

    EXPECT_EQ(Files().RemoveBelow("C:\\Base", "Linked\\Kept.txt", false), RemoveOutcome::NotOurs);
    EXPECT_EQ(Files().RemoveBelow("C:\\Base", "Linked", true), RemoveOutcome::NotOurs);
    EXPECT_EQ(Files().RemoveBelow("C:\\Base", "Sub\\..\\..\\Outside\\Kept.txt", false),
              RemoveOutcome::NotOurs);
    EXPECT_EQ(Files().RemoveBelow("C:\\Base", "C:\\Outside\\Kept.txt", false),
              RemoveOutcome::NotOurs);
    // A NUL ends a host name: "..\0" must not become the folder above the base.
    const char nulParent[] = "..\0\\Outside\\Kept.txt";
    EXPECT_EQ(Files().RemoveBelow("C:\\Base", std::string(nulParent, sizeof nulParent - 1), false),
              RemoveOutcome::NotOurs);
    EXPECT_TRUE(fs::exists(DriveC() / "Outside" / "Kept.txt"));

    EXPECT_EQ(Files().RemoveBelow("C:\\Base", "Pointer.txt", false), RemoveOutcome::Removed);
    EXPECT_FALSE(fs::exists(fs::symlink_status(DriveC() / "Base" / "Pointer.txt")));
    EXPECT_TRUE(fs::exists(DriveC() / "Outside" / "Kept.txt"));

    EXPECT_EQ(Files().RemoveBelow("C:\\Through", "sub", true), RemoveOutcome::NotEmpty);
    EXPECT_EQ(Files().RemoveBelow("C:\\Through", "SUB\\file.TXT", false), RemoveOutcome::Removed);
    EXPECT_FALSE(Files().FileExists("C:\\Base\\Sub\\File.txt"));  // the lookups know it
    EXPECT_EQ(Files().RemoveBelow("C:\\Through", "Sub\\File.txt", false), RemoveOutcome::Missing);
    EXPECT_EQ(Files().RemoveBelow("C:\\Base", "Sub", false), RemoveOutcome::Failed);  // a folder
    EXPECT_EQ(Files().RemoveBelow("C:\\Base", "Sub", true), RemoveOutcome::Removed);
    EXPECT_EQ(Files().RemoveBelow("C:\\Base", "Sub\\File.txt", false), RemoveOutcome::Missing);
    // A folder made anew under the same name is found again.
    MustCreate("C:\\Base\\Sub\\Again.txt", "x");
    EXPECT_EQ(Files().RemoveBelow("C:\\Base", "Sub\\Again.txt", false), RemoveOutcome::Removed);
}

// What Windows refuses to create is refused here too, with Windows' errors.
TEST_P(FileSystemContract, CreationKeepsToWindowsNameRules) {
    std::uint32_t error = 0;
    const std::string folder247 = "C:\\" + std::string(244, 'F');
    EXPECT_TRUE(Files().CreateDirectory(folder247));
    EXPECT_FALSE(Files().CreateDirectory(folder247 + "X"));
    const std::string file259 = folder247 + "\\" + std::string(259 - 248, 'f');
    EXPECT_NE(Files().CreateAlways(file259, error), nullptr) << error;
    EXPECT_EQ(Files().CreateAlways(file259 + "x", error), nullptr);
    EXPECT_EQ(error, win::ERROR_FILENAME_EXCED_RANGE);
    for (const std::string name :
         {"A.", "A ", "CON", "con.txt", "Nul", "COM1", "lpt9.log", "AUX .x"}) {
        EXPECT_FALSE(Files().CreateDirectory("C:\\" + name)) << name;
        EXPECT_FALSE(Files().MakeSureDirectoryPathExists("C:\\" + name + "\\x")) << name;
        EXPECT_EQ(Files().CreateAlways("C:\\" + name, error), nullptr) << name;
        EXPECT_EQ(error, win::ERROR_INVALID_NAME) << name;
    }
    // Names that only look like them are fine.
    for (const std::string name : {"COM0", "CONSOLE", "LPT10", ".profile", "A.b"})
        EXPECT_NE(Files().CreateAlways("C:\\" + name, error), nullptr) << name << ": " << error;
    EXPECT_FALSE(fs::exists(DriveC() / "A."));
    EXPECT_FALSE(fs::exists(DriveC() / "con.txt"));
}

TEST_P(FileSystemContract, FindFilesListsFoldersAndFindsNames) {
    MustCreate("C:\\List\\One.lnk", "1");
    MustCreate("C:\\List\\two.txt", "2");
    ASSERT_TRUE(Files().CreateDirectory("C:\\List\\Sub"));

    auto names = [](const std::vector<FindData>& found) {
        std::vector<std::string> result;
        for (const FindData& data : found)
            result.push_back(data.name + (data.IsDirectory() ? "/" : ""));
        std::sort(result.begin(), result.end());
        return result;
    };
    const std::vector<std::string> all = {"../", "./", "One.lnk", "Sub/", "two.txt"};
    EXPECT_EQ(names(Files().FindFiles("C:\\list\\*.*")), all);
    EXPECT_EQ(names(Files().FindFiles("C:\\List\\*")), all);
    EXPECT_EQ(names(Files().FindFiles("C:\\List\\*.LNK")), std::vector<std::string>{"One.lnk"});
    EXPECT_EQ(names(Files().FindFiles("C:\\List\\sub")), std::vector<std::string>{"Sub/"});
    EXPECT_TRUE(Files().FindFiles("C:\\List\\three").empty());
    EXPECT_TRUE(Files().FindFiles("C:\\None\\*").empty());

    // A drive root lists no "." or "..".
    for (const FindData& data : Files().FindFiles("C:\\*")) {
        EXPECT_NE(data.name, ".");
        EXPECT_NE(data.name, "..");
    }
    // A host name that the ANSI code page cannot hold is not listed.
    std::ofstream(DriveC() / "List" / "\xE4\xB8\xAD.txt") << "cjk";
    EXPECT_EQ(names(Files().FindFiles("C:\\List\\*")), all);
}

TEST_P(FileSystemContract, CopyMovesBytesAndStopsAtTheSourceEnd) {
    std::string data(200000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
    MustCreate("C:\\source.bin", data);
    std::uint32_t error = 0;
    auto from = Files().OpenRead("C:\\source.bin", error);
    auto to = Files().CreateAlways("C:\\target.bin", error);
    ASSERT_NE(from, nullptr);
    ASSERT_NE(to, nullptr);
    ASSERT_EQ(from->Seek(1000, SeekOrigin::Begin), 1000);
    CopyOutcome outcome = Files().Copy(*from, *to, 150000);
    EXPECT_EQ(outcome.copied, 150000u);
    EXPECT_EQ(outcome.fault, CopyOutcome::Fault::None);
    EXPECT_EQ(from->Position(), 151000);
    EXPECT_EQ(to->Position(), 150000);
    outcome = Files().Copy(*from, *to, 100000);
    EXPECT_EQ(outcome.copied, 49000u);
    EXPECT_EQ(outcome.fault, CopyOutcome::Fault::ShortRead);
    to.reset();
    EXPECT_EQ(TempFolder::ReadFile(DriveC() / "target.bin"), data.substr(1000));
}

TEST_P(FileSystemContract, AFullDiskIsReportedAsSuch) {
    // Only the real device: anything else of that name would be written to.
    if (!fs::is_character_file("/dev/full")) GTEST_SKIP() << "no /dev/full device";
    std::uint32_t error = 0;
    auto full = Files().CreateAlways("Z:\\dev\\full", error);
    ASSERT_NE(full, nullptr) << error;
    EXPECT_EQ(full->Write("abc", 3), 0u);
    EXPECT_EQ(full->LastError(), win::ERROR_DISK_FULL);

    MustCreate("C:\\source.bin", std::string(70000, 'x'));
    auto from = Files().OpenRead("C:\\source.bin", error);
    ASSERT_NE(from, nullptr);
    const CopyOutcome outcome = Files().Copy(*from, *full, 70000);
    EXPECT_EQ(outcome.fault, CopyOutcome::Fault::ShortWrite);
    EXPECT_EQ(full->LastError(), win::ERROR_DISK_FULL);
}

TEST_P(FileSystemContract, ARefusedFolderGivesAccessDenied) {
    if (geteuid() == 0) GTEST_SKIP() << "root is refused nothing";
    ASSERT_TRUE(Files().CreateDirectory("C:\\Locked"));
    fs::permissions(DriveC() / "Locked", fs::perms::owner_read | fs::perms::owner_exec);
    std::uint32_t error = 0;
    EXPECT_EQ(Files().CreateAlways("C:\\Locked\\x.txt", error), nullptr);
    EXPECT_EQ(error, win::ERROR_ACCESS_DENIED);
}

TEST_P(FileSystemContract, RelativePathsStartAtTheCurrentDirectory) {
    MustCreate("C:\\Setup\\Disk1\\Setup.d01", "1");
    {
        auto inside = prefix_.ChangeDirectory(DriveC() / "Setup" / "Disk1");
        EXPECT_EQ(Files().GetCurrentDirectory(), "C:\\Setup\\Disk1");
        EXPECT_TRUE(Files().FileExists("Setup.d01"));
        EXPECT_TRUE(Files().FileExists("..\\Disk1\\.\\SETUP.D01"));
        EXPECT_TRUE(Files().FileExists("\\Setup\\Disk1\\Setup.d01"));
        EXPECT_EQ(Files().GetFullPathName("..\\x\\..\\y.txt"), "C:\\Setup\\y.txt");
        EXPECT_EQ(Files().GetFullPathName("."), "C:\\Setup\\Disk1");
    }
    {
        auto root = prefix_.ChangeDirectory(DriveC());
        EXPECT_EQ(Files().GetCurrentDirectory(), "C:\\");
    }
    {
        // Outside every other drive: the folder is named through Z:.
        auto outside = prefix_.ChangeDirectory(prefix_.Folder());
        const std::string expected = "Z:" + [&] {
            std::string path = fs::canonical(prefix_.Folder()).string();
            for (char& c : path)
                if (c == '/') c = '\\';
            return path;
        }();
        EXPECT_EQ(Files().GetCurrentDirectory(), expected);
        EXPECT_TRUE(Files().FileExists("system.reg"));
        EXPECT_TRUE(Files().FileExists("drive_c\\Setup\\Disk1\\Setup.d01"));
    }
}

TEST_P(FileSystemContract, NothingEscapesTheDrive) {
    std::uint32_t error = 0;
    EXPECT_EQ(Files().GetFullPathName("C:\\..\\..\\etc\\passwd"), "C:\\etc\\passwd");
    EXPECT_EQ(Files().OpenRead("C:\\..\\..\\etc\\passwd", error), nullptr);
    EXPECT_EQ(Files().CreateAlways("C:\\..\\..\\..\\escaped.txt", error), nullptr);
    EXPECT_EQ(error, win::ERROR_INVALID_NAME);
    EXPECT_FALSE(Files().MakeSureDirectoryPathExists("C:\\..\\..\\escaped\\x"));
    EXPECT_FALSE(fs::exists(prefix_.Folder() / "escaped.txt"));
    EXPECT_FALSE(fs::exists(prefix_.Folder().parent_path() / "escaped.txt"));
    EXPECT_FALSE(fs::exists(prefix_.Folder().parent_path() / "escaped"));
    EXPECT_EQ(Files().GetFileAttributes("C:\\Program Files\\..\\..\\..\\etc"),
              win::INVALID_FILE_ATTRIBUTES);
    // Inside the drive, ".." is an ordinary step back.
    EXPECT_NE(Files().GetFileAttributes("C:\\Program Files\\..\\Program Files"),
              win::INVALID_FILE_ATTRIBUTES);
}

TEST_P(FileSystemContract, DrivesAreTheirLinksWhereverTheyPoint) {
    const fs::path other = prefix_.Folder() / "elsewhere";
    fs::create_directory(other);
    fs::create_directory_symlink("../elsewhere", prefix_.Folder() / "dosdevices" / "d:");
    MustCreate("d:\\Data.txt", "on d");
    EXPECT_EQ(TempFolder::ReadFile(other / "Data.txt"), "on d");

    // A drive whose link points nowhere, and a letter without a link.
    fs::create_directory_symlink("../gone", prefix_.Folder() / "dosdevices" / "e:");
    std::uint32_t error = 0;
    EXPECT_EQ(Files().CreateAlways("E:\\x.txt", error), nullptr);
    EXPECT_EQ(error, win::ERROR_INVALID_DRIVE);
    EXPECT_EQ(Files().OpenRead("Q:\\x.txt", error), nullptr);
    EXPECT_EQ(error, win::ERROR_INVALID_DRIVE);
    EXPECT_FALSE(Files().MakeSureDirectoryPathExists("E:\\a\\b"));
    EXPECT_EQ(Files().GetFileAttributes("E:\\"), win::INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(fs::exists(prefix_.Folder() / "gone"));

    // Drive C is its link too, not the folder drive_c.
    fs::remove(prefix_.Folder() / "dosdevices" / "c:");
    fs::create_directory_symlink("../elsewhere", prefix_.Folder() / "dosdevices" / "c:");
    EXPECT_TRUE(Files().FileExists("C:\\data.txt"));
}

INSTANTIATE_TEST_SUITE_P(, FileSystemContract, testing::ValuesIn(Variants()),
                         [](const testing::TestParamInfo<Variant>& info) {
                             return std::string(info.param.name);
                         });
