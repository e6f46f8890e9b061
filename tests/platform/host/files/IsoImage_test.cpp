// Disk images read without mounting: files found by any of the names an image
// records, read as exactly their own bytes, and damaged images refused.
#include "platform/host/files/IsoImage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/Platform.h"
#include "platform/WinTypes.h"
#include "tests/support/ShellCommand.h"
#include "tests/support/TempDrive.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

class IsoImageTest : public TempFolderTest {
  protected:
    void SetUp() override {
        if (RunShellCommand("command -v xorriso").empty())
            GTEST_SKIP() << "xorriso is not installed (scripts/install-deps installs it)";
        // Two files side by side, so that reading past the first would give the second.
        volume_ = std::string(5000, 'v') + "end";
        temp_.WriteFile("disk/Setup.d01", volume_);
        temp_.WriteFile("disk/Setup.sum", std::string(4096, 's'));
        temp_.WriteFile("disk/Sub/Deep.txt", "deep");
    }

    // Writes an image of the folder disk with xorriso's mkisofs options.
    fs::path Image(const std::string& name, const std::string& options) {
        const fs::path image = temp_.Path() / name;
        int status = -1;
        RunShellCommand("xorriso -as mkisofs -quiet " + options + " -o " +
                            ShellQuoted(image.string()) + " " +
                            ShellQuoted((temp_.Path() / "disk").string()) + " 2>&1",
                        &status);
        EXPECT_EQ(status, 0) << "xorriso could not write " << image;
        return image;
    }

    static std::string ReadAll(IFileStream& stream) {
        std::string content(stream.Size() + 10, '\0');
        content.resize(stream.Read(content.data(), content.size()));
        return content;
    }

    std::string volume_;
};

}  // namespace

TEST_F(IsoImageTest, EveryRecordedNameOpensExactlyTheFilesBytes) {
    for (const auto& [name, options] :
         {std::pair<std::string, std::string>{"rockridge.iso", "-R -J"}, {"plain.iso", ""}}) {
        SCOPED_TRACE(name);
        const fs::path image = Image(name, options);
        ASSERT_TRUE(iso::LooksLikeImage(image));
        for (const std::string asked : {"Setup.d01", "SETUP.D01", "setup.d01;1"}) {
            std::uint32_t error = 0;
            const auto stream = iso::OpenInImage(image, asked, error);
            ASSERT_NE(stream, nullptr) << asked << ": error " << error;
            EXPECT_EQ(stream->Size(), static_cast<std::int64_t>(volume_.size()));
            EXPECT_EQ(ReadAll(*stream), volume_);  // nothing of the next file
            EXPECT_EQ(stream->Read(&error, 1), 0u);
            // Positions are the file's own.
            EXPECT_EQ(stream->Seek(-3, SeekOrigin::End), static_cast<std::int64_t>(5000));
            EXPECT_EQ(ReadAll(*stream), "end");
            EXPECT_EQ(stream->Seek(-1, SeekOrigin::Begin), -1);
            EXPECT_EQ(stream->Position(), static_cast<std::int64_t>(volume_.size()));
            EXPECT_EQ(stream->Write("x", 1), 0u);
        }
        std::uint32_t error = 0;
        const auto deep = iso::OpenInImage(image, "sub/DEEP.TXT", error);
        ASSERT_NE(deep, nullptr);
        EXPECT_EQ(ReadAll(*deep), "deep");
        EXPECT_EQ(iso::OpenInImage(image, "Setup.d02", error), nullptr);
        EXPECT_EQ(error, win::ERROR_FILE_NOT_FOUND);
    }
}

TEST_F(IsoImageTest, TheKernelsCopyStopsAtTheFilesEnd) {
    const fs::path image = Image("disk.iso", "-R");
    TempDrive prefix;
    std::uint32_t error = 0;
    const auto from = iso::OpenInImage(image, "Setup.d01", error);
    ASSERT_NE(from, nullptr);
    ASSERT_EQ(from->Seek(1000, SeekOrigin::Begin), 1000);
    const auto to = Files().CreateAlways("C:\\copy.bin", error);
    ASSERT_NE(to, nullptr);
    const CopyOutcome outcome = Files().Copy(*from, *to, 1u << 20);
    EXPECT_EQ(outcome.copied, volume_.size() - 1000);
    EXPECT_EQ(outcome.fault, CopyOutcome::Fault::ShortRead);
    to->Close();
    EXPECT_EQ(TempFolder::ReadFile(prefix.Folder() / "drive_c" / "copy.bin"), volume_.substr(1000));
}

TEST_F(IsoImageTest, DamagedImagesAndOtherFilesAreToldApart) {
    const fs::path image = Image("disk.iso", "-R -J");
    const std::string whole = TempFolder::ReadFile(image);

    // Cut after the folders but inside the volume's data.
    const iso::ImageFile where = iso::FindInImage(image, "Setup.d01");
    ASSERT_EQ(where.status, iso::ImageFile::Status::Found);
    // What is left of the file is all that is read: its reader sees a short file.
    const fs::path cut = temp_.WriteFile("cut.iso", whole.substr(0, where.offset + 100));
    const iso::ImageFile left = iso::FindInImage(cut, "Setup.d01");
    EXPECT_EQ(left.status, iso::ImageFile::Status::Found);
    EXPECT_TRUE(left.cutShort);
    std::uint32_t error = 0;
    const auto stream = iso::OpenInImage(cut, "Setup.d01", error);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->Size(), 100);
    EXPECT_EQ(ReadAll(*stream), volume_.substr(0, 100));
    EXPECT_FALSE(where.cutShort);

    // Cut inside the folders: libisofs cannot read it.
    const fs::path early = temp_.WriteFile("early.iso", whole.substr(0, 17 * 2048));
    EXPECT_EQ(iso::FindInImage(early, "Setup.d01").status, iso::ImageFile::Status::Damaged);
    EXPECT_EQ(iso::OpenInImage(early, "Setup.d01", error), nullptr);
    EXPECT_EQ(error, win::ERROR_FILE_CORRUPT);

    const fs::path text = temp_.WriteFile("notes.iso", std::string(40000, 'x'));
    EXPECT_FALSE(iso::LooksLikeImage(text));
    EXPECT_EQ(iso::FindInImage(text, "Setup.d01").status, iso::ImageFile::Status::NotAnImage);
    EXPECT_FALSE(iso::LooksLikeImage(temp_.Path()));  // a folder
}
