// What the volume reader relies on in a file system, kept alike by the tool's
// plain host files and by the Wine prefix's own: the streams, the errors of a
// failed open and the copy. The prefix reaches the same folder
// through its drive Z:, which covers the whole host.
#include "platform/host/files/PlainFileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include "platform/WinTypes.h"
#include "tests/support/TempDrive.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

struct Variant {
    const char* name;
    bool onPrefix;  // the prefix's files by Windows path, else the plain host files
};

void PrintTo(const Variant& variant, std::ostream* out) { *out << variant.name; }

class ReadingFileSystemContract : public testing::TestWithParam<Variant> {
  protected:
    ReadingFileSystemContract() {
        if (GetParam().onPrefix) {
            prefix_ = std::make_unique<TempDrive>();
            files_ = &prefix_->Files();
        } else {
            files_ = &plain_;
        }
    }
    // The path under test of a name in the temporary folder.
    std::string Path(const std::string& name) const {
        const std::string host = (temp_.Path() / name).string();
        if (!GetParam().onPrefix) return host;
        std::string windows = "Z:" + host;
        std::replace(windows.begin(), windows.end(), '/', '\\');
        return windows;
    }

    TempFolder temp_;
    PlainFileSystem plain_;
    std::unique_ptr<TempDrive> prefix_;
    IFileSystem* files_ = nullptr;
};

TEST_P(ReadingFileSystemContract, StreamsWriteReadBackAndCreateEmpties) {
    std::uint32_t error = 0;
    auto stream = files_->CreateAlways(Path("data.bin"), error);
    ASSERT_NE(stream, nullptr) << error;
    EXPECT_EQ(stream->Write("hello world", 11), 11u);
    EXPECT_EQ(TempFolder::ReadFile(temp_.Path() / "data.bin"), "hello world");  // unbuffered
    EXPECT_EQ(stream->Seek(-5, SeekOrigin::End), 6);
    char word[5];
    EXPECT_EQ(stream->Read(word, 5), 5u);
    EXPECT_EQ(std::string(word, 5), "world");
    EXPECT_EQ(stream->Read(word, 5), 0u);
    stream.reset();
    auto reader = files_->OpenRead(Path("data.bin"), error);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->Size(), 11);
    reader.reset();
    EXPECT_EQ(files_->CreateAlways(Path("data.bin"), error)->Size(), 0);
}

TEST_P(ReadingFileSystemContract, FailedOpensSayWhatIsMissing) {
    std::uint32_t error = 0;
    EXPECT_EQ(files_->OpenRead(Path("none.bin"), error), nullptr);
    EXPECT_EQ(error, win::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(files_->OpenRead(Path("no folder/none.bin"), error), nullptr);
    EXPECT_EQ(error, win::ERROR_PATH_NOT_FOUND);
    fs::create_directory(temp_.Path() / "folder");
    EXPECT_EQ(files_->OpenRead(Path("folder"), error), nullptr);  // no volume
    EXPECT_EQ(error, win::ERROR_ACCESS_DENIED);
    EXPECT_FALSE(files_->FileExists(Path("folder")));
    EXPECT_EQ(files_->GetFileAttributes(Path("folder")) & win::FILE_ATTRIBUTE_DIRECTORY,
              win::FILE_ATTRIBUTE_DIRECTORY);
}

TEST_P(ReadingFileSystemContract, CopyStopsAtTheSourceEnd) {
    temp_.WriteFile("source.bin", std::string(100000, 'x'));
    std::uint32_t error = 0;
    auto from = files_->OpenRead(Path("source.bin"), error);
    auto to = files_->CreateAlways(Path("target.bin"), error);
    ASSERT_NE(from, nullptr);
    ASSERT_NE(to, nullptr);
    CopyOutcome outcome = files_->Copy(*from, *to, 150000);
    EXPECT_EQ(outcome.copied, 100000u);
    EXPECT_EQ(outcome.fault, CopyOutcome::Fault::ShortRead);
    to.reset();
    EXPECT_EQ(fs::file_size(temp_.Path() / "target.bin"), 100000u);
}

INSTANTIATE_TEST_SUITE_P(, ReadingFileSystemContract,
                         testing::Values(Variant{"Plain", false}, Variant{"Prefix", true}),
                         [](const testing::TestParamInfo<Variant>& info) {
                             return std::string(info.param.name);
                         });

TEST(PlainFileSystem, AVanishedCurrentDirectoryGivesEmptyNamesNotAnException) {
    // The interface reports its failures: no std::filesystem error gets out.
    TempFolder temp;
    const fs::path saved = fs::current_path();
    const fs::path gone = temp.Path() / "gone";
    fs::create_directory(gone);
    fs::current_path(gone);
    fs::remove(gone);
    PlainFileSystem plain;
    std::string current = "unset", full = "unset";
    EXPECT_NO_THROW(current = plain.GetCurrentDirectory());
    EXPECT_NO_THROW(full = plain.GetFullPathName("Setup.d01"));
    fs::current_path(saved);
    EXPECT_EQ(current, "");
    EXPECT_EQ(full, "");
}

TEST(PlainFileSystem, AVolumeOpenForReadingIsSharedWithNobody) {
    // As the prefix's files open: a second open of the same volume is refused.
    TempFolder temp;
    const std::string volume = temp.WriteFile("Setup.d01", "x").string();
    PlainFileSystem plain;
    std::uint32_t error = 0;
    const auto first = plain.OpenRead(volume, error);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(plain.OpenRead(volume, error), nullptr);
    EXPECT_EQ(error, win::ERROR_SHARING_VIOLATION);
}

}  // namespace
