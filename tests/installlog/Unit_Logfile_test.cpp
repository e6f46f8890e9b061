#include "installlog/Unit_Logfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/WinTypes.h"
#include "platform/host/files/HostFileSystem.h"
#include "platform/host/machine/WinePrefix.h"
#include "tests/support/TempFolder.h"

namespace {

constexpr char kFolder[] = "C:\\Program Files\\Lingora";
constexpr char kHeader[] =
    "*** Don't change or delete this file ***\r\n\r\n{program folder}\r\nTarnwick\\Lingora\r\n";

// A file system whose streams refuse every write after the first `writesAllowed`
// (disk full), and optionally refuse to close.
class FailingFiles : public ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    int writesAllowed = 1000;
    bool failClose = false;

    std::unique_ptr<IFileStream> CreateAlways(const std::string& path,
                                              std::uint32_t& error) override {
        auto inner = Inner().CreateAlways(path, error);
        if (!inner) return nullptr;
        return std::make_unique<Stream>(std::move(inner), *this);
    }

  private:
    class Stream : public ForwardingFileStream {
      public:
        Stream(std::unique_ptr<IFileStream> inner, FailingFiles& files)
            : ForwardingFileStream(std::move(inner)), files_(files) {}
        std::size_t Write(const void* buffer, std::size_t count) override {
            if (files_.writesAllowed-- <= 0) {
                error_ = win::ERROR_DISK_FULL;
                return 0;
            }
            return ForwardingFileStream::Write(buffer, count);
        }
        bool Close() override {
            const bool closed = ForwardingFileStream::Close();
            if (files_.failClose) {
                error_ = win::ERROR_WRITE_FAULT;
                return false;
            }
            return closed;
        }
        std::uint32_t LastError() const override {
            return error_ != 0 ? error_ : ForwardingFileStream::LastError();
        }

      private:
        FailingFiles& files_;
        std::uint32_t error_ = 0;
    };
};

class LogFileTest : public TempFolderTest {
  protected:
    void SetUp() override {
        WinePrefix(temp_.Path()).EnsureExists();
        host_ = std::make_unique<HostFileSystem>(temp_.Path());
        failing_ = std::make_unique<FailingFiles>(*host_);
        platform_ =
            std::make_unique<ScopedPlatform>(Platform{failing_.get(), nullptr, nullptr, nullptr});
        ASSERT_TRUE(Files().MakeSureDirectoryPathExists(std::string(kFolder) + "\\"));
    }
    std::string LogText() const {
        return TempFolder::ReadFile(temp_.Path() / "drive_c" / "Program Files" / "Lingora" /
                                    "Install.log");
    }
    std::uint32_t ErrorOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const EInOutError& error) {
            return error.ErrorCode();
        }
        return 0;
    }

    std::unique_ptr<HostFileSystem> host_;
    std::unique_ptr<FailingFiles> failing_;
    std::unique_ptr<ScopedPlatform> platform_;
};

TEST_F(LogFileTest, WholeInstallationRecordByteForByte) {
    TLogFile log(kFolder, "Tarnwick\\Lingora");
    EXPECT_EQ(LogText(), kHeader);
    log.StartProgramFiles();
    log.WriteLine("Lingohlp.GID");
    log.WriteLine("Sub\\R\xE9sum\xE9.txt");
    // Each line is in the file at once, before the caller creates the file it names.
    EXPECT_EQ(LogText(), std::string(kHeader) +
                             "\r\n{program files}\r\nLingohlp.GID\r\nSub\\R\xE9sum\xE9.txt\r\n");
    log.StartProgramFolderFiles();
    log.WriteLine("Lingora.lnk");
    log.Close();
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(LogText(), std::string(kHeader) +
                             "\r\n{program files}\r\nLingohlp.GID\r\nSub\\R\xE9sum\xE9.txt\r\n"
                             "\r\n{program folder files}\r\nLingora.lnk\r\n\r\n");
}

TEST_F(LogFileTest, ExistingLogIsReplacedAndDestructorCloses) {
    temp_.WriteFile("drive_c/Program Files/Lingora/Install.log", std::string(10000, 'x'));
    { TLogFile log(kFolder, "Tarnwick\\Lingora"); }
    EXPECT_EQ(LogText(), std::string(kHeader) + "\r\n");
}

TEST_F(LogFileTest, FailuresRaiseInOutErrorWithTheSystemCode) {
    // The folder does not exist.
    EXPECT_EQ(ErrorOf([] { TLogFile log("C:\\Missing\\Folder", "Lingora"); }),
              win::ERROR_PATH_NOT_FOUND);

    failing_->writesAllowed = 2;  // the header and one line
    TLogFile log(kFolder, "Tarnwick\\Lingora");
    log.WriteLine("One.txt");
    EXPECT_EQ(ErrorOf([&] { log.WriteLine("Two.txt"); }), win::ERROR_DISK_FULL);
    // Closing fails too (its final line), yet the file is closed and nothing is removed.
    EXPECT_EQ(ErrorOf([&] { log.Close(); }), win::ERROR_DISK_FULL);
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(LogText(), std::string(kHeader) + "One.txt\r\n");
    EXPECT_NE(ErrorOf([&] { log.WriteLine("Three.txt"); }), 0u);
    EXPECT_NE(ErrorOf([&] { log.Close(); }), 0u);
}

TEST_F(LogFileTest, FailedCloseIsReportedButNeverFromTheDestructor) {
    failing_->failClose = true;
    {
        TLogFile log(kFolder, "Lingora");
        EXPECT_EQ(ErrorOf([&] { log.Close(); }), win::ERROR_WRITE_FAULT);
    }
    EXPECT_NO_THROW({ TLogFile log(kFolder, "Lingora"); });
    failing_->writesAllowed = 1;
    EXPECT_NO_THROW({ TLogFile log(kFolder, "Lingora"); });
}

TEST_F(LogFileTest, ReaderReadsBackWhatTheWriterWrote) {
    {
        TLogFile log(kFolder, "Taal & Woorden\\Nederlands");
        log.StartProgramFiles();
        log.WriteLine("Lingohlp.GID");
        log.WriteLine("Lijsten\\R\xE9sum\xE9.wdl");
        log.StartProgramFolderFiles();
        log.WriteLine("Lingora.lnk");
        log.WriteLine("Help.lnk");
    }
    const TInstallLog read = ReadInstallLog(std::string(kFolder) + "\\Install.log");
    EXPECT_TRUE(read.HasProgramFolder);
    EXPECT_EQ(read.ProgramFolder, "Taal & Woorden\\Nederlands");
    EXPECT_EQ(read.ProgramFiles,
              (std::vector<std::string>{"Lingohlp.GID", "Lijsten\\R\xE9sum\xE9.wdl"}));
    EXPECT_EQ(read.ProgramFolderFiles, (std::vector<std::string>{"Lingora.lnk", "Help.lnk"}));
}

TEST_F(LogFileTest, ReaderTakesSectionsWhereverTheyStandUpToTheirFirstEmptyLine) {
    const auto read = [&](const std::string& bytes) {
        temp_.WriteFile("drive_c/Program Files/Lingora/Install.log", bytes);
        return ReadInstallLog(std::string(kFolder) + "\\Install.log");
    };
    // Sections in another order, lone CR and LF line ends, a repeated marker
    // (the first counts) and a last entry without its line end.
    TInstallLog log = read(
        "{program folder files}\rA.lnk\n\n{program files}\r\nOne.txt\r\n\r\n"
        "{program files}\r\nLater.txt\r\n{program folder}\nStart\n{program folder}\nOther\n"
        "{program folder files}\nB.lnk");
    EXPECT_EQ(log.ProgramFolder, "Start");
    EXPECT_EQ(log.ProgramFiles, (std::vector<std::string>{"One.txt"}));
    EXPECT_EQ(log.ProgramFolderFiles, (std::vector<std::string>{"A.lnk"}));

    log = read("{program files}\r\nOne.txt\r\nTwo.txt");
    EXPECT_EQ(log.ProgramFiles, (std::vector<std::string>{"One.txt", "Two.txt"}));
    EXPECT_FALSE(log.HasProgramFolder);
    EXPECT_TRUE(log.ProgramFolderFiles.empty());

    // The marker as the last line names no folder; an empty line after it does.
    EXPECT_FALSE(read("{program folder}\r\n").HasProgramFolder);
    log = read("{program folder}\r\n\r\n");
    EXPECT_TRUE(log.HasProgramFolder);
    EXPECT_EQ(log.ProgramFolder, "");
    EXPECT_FALSE(read("").HasProgramFolder);
}

TEST_F(LogFileTest, ReaderRaisesInOutErrorForAMissingLog) {
    EXPECT_EQ(ErrorOf([] { ReadInstallLog("C:\\Program Files\\Lingora\\Install.log"); }),
              win::ERROR_FILE_NOT_FOUND);
}

}  // namespace
