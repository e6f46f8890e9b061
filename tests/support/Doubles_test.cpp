// The doubles add behaviour of their own: check that they inject exactly the
// fault they promise and pass everything else through to the machine.
#include "tests/support/Doubles.h"

#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "tests/support/TempPrefix.h"

namespace {

std::unique_ptr<IFileStream> Create(IFileSystem& files, const std::string& path) {
    std::uint32_t error = 0;
    auto stream = files.CreateAlways(path, error);
    EXPECT_NE(stream, nullptr) << path << " error " << error;
    return stream;
}

}  // namespace

class DoublesTest : public TempPrefixTest {};

TEST_F(DoublesTest, FailingWriteFailsOnlyTheNthWriteOverAllStreams) {
    FailingWriteFileSystem files(prefix_.Machine().Files(), 3, win::ERROR_DISK_FULL);
    auto first = Create(files, "C:\\a.txt");
    auto second = Create(files, "C:\\b.txt");
    EXPECT_EQ(first->Write("1", 1), 1u);
    EXPECT_EQ(second->Write("2", 1), 1u);
    EXPECT_EQ(first->Write("3", 1), 0u);
    EXPECT_EQ(first->LastError(), win::ERROR_DISK_FULL);
    EXPECT_EQ(second->Write("4", 1), 1u);
    EXPECT_EQ(files.Writes(), 4);
    first.reset();
    second.reset();
    EXPECT_EQ(prefix_.ReadFile("C:\\a.txt"), "1");
    EXPECT_EQ(prefix_.ReadFile("C:\\b.txt"), "24");
}

TEST_F(DoublesTest, DiskFullCutsWritesAndCopiesAtTheCapacity) {
    prefix_.WriteFile("C:\\source.bin", std::string(100000, 'x'));
    DiskFullFileSystem files(prefix_.Machine().Files(), 70000);
    std::uint32_t error = 0;
    auto from = files.OpenRead("C:\\source.bin", error);
    auto to = Create(files, "C:\\target.bin");
    ASSERT_NE(from, nullptr);
    const CopyOutcome outcome = files.Copy(*from, *to, 100000);
    EXPECT_EQ(outcome.copied, 70000u);
    EXPECT_EQ(outcome.fault, CopyOutcome::Fault::ShortWrite);
    EXPECT_EQ(to->LastError(), win::ERROR_DISK_FULL);
    EXPECT_EQ(to->Write("y", 1), 0u);
    to.reset();
    EXPECT_EQ(prefix_.ReadFile("C:\\target.bin").size(), 70000u);
}

TEST_F(DoublesTest, DenyingRefusesChangesBelowTheFolderOnly) {
    prefix_.WriteFile("C:\\Locked\\old.txt", "old");
    DenyingFileSystem files(prefix_.Machine().Files(), "c:\\locked\\");
    std::uint32_t error = 0;
    EXPECT_EQ(files.CreateAlways("C:\\LOCKED\\new.txt", error), nullptr);
    EXPECT_EQ(error, win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(files.OpenRead("C:\\Locked\\old.txt", error), nullptr);
    EXPECT_FALSE(files.DeleteFile("C:\\Locked\\old.txt"));
    EXPECT_FALSE(files.RemoveDirectory("C:\\Locked"));
    EXPECT_FALSE(files.MakeSureDirectoryPathExists("C:\\Locked\\Sub\\x"));
    EXPECT_TRUE(files.MakeSureDirectoryPathExists("C:\\Locked\\x"));  // nothing to create
    EXPECT_TRUE(files.FileExists("C:\\Locked\\old.txt"));
    // A sibling whose name merely starts the same is not below the folder.
    EXPECT_NE(Create(files, "C:\\LockedNot.txt"), nullptr);
    EXPECT_TRUE(files.MakeSureDirectoryPathExists("C:\\Open\\Sub\\x"));
}

TEST_F(DoublesTest, ReadOnlyRegistryReadsButRefusesEveryChange) {
    ReadOnlyRegistry registry(prefix_.Machine().Registry());
    const std::string folders =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    IRegistry::Key key = 0;
    ASSERT_EQ(registry.OpenKey(RootKey::CurrentUser, folders, true, key), win::ERROR_SUCCESS);
    RegValue value;
    EXPECT_EQ(registry.QueryValue(key, "Programs", value), win::ERROR_SUCCESS);
    EXPECT_EQ(registry.SetValue(key, "X", RegValue{win::REG_SZ, std::string("y\0", 2)}),
              win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(registry.DeleteValue(key, "Programs"), win::ERROR_ACCESS_DENIED);
    registry.CloseKey(key);
    EXPECT_EQ(registry.OpenKey(RootKey::CurrentUser, "Software\\New", true, key),
              win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(registry.DeleteKey(RootKey::CurrentUser, folders), win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(
        prefix_.Machine().Registry().OpenKey(RootKey::CurrentUser, "Software\\New", false, key),
        win::ERROR_FILE_NOT_FOUND);
}

TEST_F(DoublesTest, ShellDoublesFailCreationLackInterfacesAndRecordStarts) {
    FailingComShell failing(prefix_.Machine().Shell(), win::CO_E_NOTINITIALIZED);
    try {
        failing.CreateShellLink();
        ADD_FAILURE() << "no EOleSysError";
    } catch (const EOleSysError& error) {
        EXPECT_EQ(error.ErrorCode(), win::CO_E_NOTINITIALIZED);
    }

    LackingInterfaceShell lacking(prefix_.Machine().Shell(),
                                  LackingInterfaceShell::Missing::PersistFile);
    auto object = lacking.CreateShellLink();
    EXPECT_NE(object->QueryShellLink(), nullptr);
    EXPECT_EQ(object->QueryPersistFile(), nullptr);

    RecordingShell recording(prefix_.Machine().Shell(), false);
    EXPECT_FALSE(recording.ShellExecute("C:\\Old\\Uninst.exe", "/u", "C:\\Old"));
    ASSERT_EQ(recording.Calls().size(), 1u);
    EXPECT_EQ(recording.Calls()[0].parameters, "/u");
    EXPECT_TRUE(prefix_.Started().empty());
}

TEST_F(DoublesTest, WindowServicesRecordBeepsAndRestarts) {
    RecordingWindowServices refusing(prefix_.Machine().WindowServices(), false);
    refusing.MessageBeep(win::MB_ICONQUESTION);
    EXPECT_FALSE(refusing.ExitWindowsEx(win::EWX_REBOOT));
    EXPECT_EQ(refusing.Beeps(), std::vector<std::uint32_t>{win::MB_ICONQUESTION});
    EXPECT_EQ(refusing.RestartRequests(), std::vector<std::uint32_t>{win::EWX_REBOOT});
    refusing.SetScreenSize({1024, 768});
    EXPECT_EQ(refusing.GetScreenSize().width, 1024);
    EXPECT_TRUE(prefix_.Started().empty());
}
