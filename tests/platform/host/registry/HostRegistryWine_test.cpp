// The registry files as Wine itself writes and reads them: a prefix made by
// wineboot is read and written back byte for byte, and what Setup writes is
// what Wine's tools show. Skipped where Wine is not installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/WinTypes.h"
#include "platform/host/registry/HostRegistry.h"
#include "platform/host/registry/RegistryFile.h"
#include "platform/host/registry/RegistryStorage.h"
#include "tests/support/ShellCommand.h"
#include "tests/support/TempFolder.h"

namespace {

// Runs a shell command on the prefix and returns its output (stdout and stderr).
std::string RunOnPrefix(const std::filesystem::path& prefix, const std::string& command,
                        int* status = nullptr) {
    return RunShellCommand(
        "WINEPREFIX=" + ShellQuoted(prefix.string()) + " WINEDEBUG=-all " + command + " 2>&1",
        status);
}

class HostRegistryWineTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (std::system(
                "command -v wineboot >/dev/null 2>&1 && command -v wineserver >/dev/null 2>&1") !=
            0) {
            return;
        }
        folder_ = new TempFolder();
        int status = 0;
        RunOnPrefix(Prefix(), "timeout 240 wineboot -i", &status);
        // Wine's files are on disk once its server has ended.
        RunOnPrefix(Prefix(), "timeout 120 wineserver -w");
        booted_ = status == 0 && std::filesystem::exists(Prefix() / "system.reg");
    }
    static void TearDownTestSuite() {
        if (folder_ != nullptr) RunOnPrefix(Prefix(), "wineserver -k");
        delete folder_;
        folder_ = nullptr;
    }
    void SetUp() override {
        if (folder_ == nullptr) GTEST_SKIP() << "Wine is not installed";
        ASSERT_TRUE(booted_) << "wineboot could not make a prefix";
    }
    static std::filesystem::path Prefix() { return folder_->Path() / "prefix"; }

    static TempFolder* folder_;
    static bool booted_;
};

TempFolder* HostRegistryWineTest::folder_ = nullptr;
bool HostRegistryWineTest::booted_ = false;

std::uint32_t WriteKey(HostRegistry& registry, RootKey root, const std::string& path,
                       const std::string& name, const std::string* text) {
    IRegistry::Key key = 0;
    if (const std::uint32_t result = registry.OpenKey(root, path, true, key)) return result;
    std::uint32_t result = 0;
    if (text != nullptr) result = registry.SetValue(key, name, RegValue{win::REG_SZ, *text + '\0'});
    registry.CloseKey(key);
    return result;
}

}  // namespace

TEST_F(HostRegistryWineTest, FilesOfWineboot) {
    for (const char* name : {"system.reg", "user.reg", "userdef.reg"}) {
        SCOPED_TRACE(name);
        std::string content;
        ASSERT_EQ(ReadRegistryFile(Prefix() / name, content), 0);
        RegistryFile file = RegistryFile::Parse(content, name);
        EXPECT_EQ(file.Arch(), RegistryArch::Win64);
        EXPECT_GT(file.KeyCount(), 5u);
        // (Compared as a whole: a printed difference of such texts is too large.)
        EXPECT_TRUE(file.Serialize() == content);
    }
    // A change through the machine's registry leaves every other key as it was.
    std::string before;
    ASSERT_EQ(ReadRegistryFile(Prefix() / "system.reg", before), 0);
    HostRegistry registry(Prefix());
    IRegistry::Key key = 0;
    ASSERT_EQ(registry.OpenKey(RootKey::ClassesRoot, ".txt", false, key), 0u);
    RegValue value;
    ASSERT_EQ(registry.QueryValue(key, "Content Type", value), 0u);
    EXPECT_EQ(value.data, std::string("text/plain\0", 11));
    ASSERT_EQ(registry.SetValue(key, "Content Type", value), 0u);
    registry.CloseKey(key);
    std::string after;
    ASSERT_EQ(ReadRegistryFile(Prefix() / "system.reg", after), 0);
    const std::size_t at = before.find("[Software\\\\Classes\\\\.txt] ");
    ASSERT_NE(at, std::string::npos);
    const std::size_t end = before.find("\n[", at);
    EXPECT_EQ(after.size(), before.size());
    EXPECT_TRUE(after.compare(0, at, before, 0, at) == 0);
    EXPECT_TRUE(after.compare(end, std::string::npos, before, end, std::string::npos) == 0);
    EXPECT_NE(after.substr(at, end - at), before.substr(at, end - at));
}

TEST_F(HostRegistryWineTest, WineSeesTheEntriesOfSetup) {
    HostRegistry registry(Prefix());
    const std::string uninstall =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lingora";
    const std::string displayName = "Lingora";
    const std::string uninstallString = "C:\\Program Files\\Lingora\\Uninst.exe";

    // While Wine runs on the prefix, nothing is written.
    int status = 0;
    // (Its output goes elsewhere: the server keeps it open while it runs.)
    RunOnPrefix(Prefix(), "wineserver -p >/dev/null 2>&1 </dev/null", &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(WriteKey(registry, RootKey::LocalMachine, uninstall, "DisplayName", &displayName),
              win::ERROR_LOCK_VIOLATION);
    EXPECT_NE(registry.LastErrorText().find("close the programs that run in this Wine prefix"),
              std::string::npos);
    RunOnPrefix(Prefix(), "wineserver -k");
    RunOnPrefix(Prefix(), "timeout 60 wineserver -w");

    ASSERT_EQ(WriteKey(registry, RootKey::LocalMachine, uninstall, "DisplayName", &displayName),
              0u);
    ASSERT_EQ(
        WriteKey(registry, RootKey::LocalMachine, uninstall, "UninstallString", &uninstallString),
        0u);
    const std::string type = "Lingora.Wordlist", typeName = "Lingora wordlist",
                      icon = "C:\\Program Files\\Lingora\\Lingora.exe,1", verb = "Open",
                      command = "C:\\Program Files\\Lingora\\Lingora.exe \"%1\"";
    ASSERT_EQ(WriteKey(registry, RootKey::ClassesRoot, ".wdl", "", &type), 0u);
    ASSERT_EQ(WriteKey(registry, RootKey::ClassesRoot, "Lingora.Wordlist", "", &typeName), 0u);
    ASSERT_EQ(WriteKey(registry, RootKey::ClassesRoot, "Lingora.Wordlist\\DefaultIcon", "", &icon),
              0u);
    ASSERT_EQ(WriteKey(registry, RootKey::ClassesRoot, "Lingora.Wordlist\\Shell", "", &verb), 0u);
    ASSERT_EQ(
        WriteKey(registry, RootKey::ClassesRoot, "Lingora.Wordlist\\Shell\\Open", "", nullptr), 0u);
    ASSERT_EQ(WriteKey(registry, RootKey::ClassesRoot, "Lingora.Wordlist\\Shell\\Open\\command", "",
                       &command),
              0u);

    const std::string entry = RunOnPrefix(Prefix(),
                                          "timeout 120 wine reg query "
                                          "'HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\"
                                          "CurrentVersion\\Uninstall\\Lingora'");
    EXPECT_NE(entry.find("DisplayName    REG_SZ    Lingora"), std::string::npos) << entry;
    EXPECT_NE(entry.find("UninstallString    REG_SZ    C:\\Program Files\\Lingora\\Uninst.exe"),
              std::string::npos)
        << entry;
    const std::string open = RunOnPrefix(Prefix(),
                                         "timeout 120 wine reg query "
                                         "'HKCR\\Lingora.Wordlist\\Shell\\Open\\command'");
    EXPECT_NE(open.find("(Default)    REG_SZ    C:\\Program Files\\Lingora\\Lingora.exe \"%1\""),
              std::string::npos)
        << open;
    const std::string wdl = RunOnPrefix(Prefix(), "timeout 120 wine reg query 'HKCR\\.wdl'");
    EXPECT_NE(wdl.find("REG_SZ    Lingora.Wordlist"), std::string::npos) << wdl;
    const std::string list = RunOnPrefix(Prefix(), "timeout 120 wine uninstaller --list");
    EXPECT_NE(list.find("|||Lingora"), std::string::npos) << list;

    // Wine wrote the files again when it ended; they still read, with our keys.
    RunOnPrefix(Prefix(), "timeout 120 wineserver -w");
    HostRegistry after(Prefix());
    IRegistry::Key key = 0;
    ASSERT_EQ(after.OpenKey(RootKey::LocalMachine, uninstall, false, key), 0u);
    RegValue value;
    ASSERT_EQ(after.QueryValue(key, "UninstallString", value), 0u);
    EXPECT_EQ(value.data, uninstallString + '\0');
}
