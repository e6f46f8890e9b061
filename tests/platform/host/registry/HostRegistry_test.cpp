// The registry of a Wine prefix through IRegistry: where each root key lives,
// the 32-bit view of a 64-bit prefix, changes on disk at once, files that are
// changed by others, and files that must not be written.
#include "platform/host/registry/HostRegistry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/TRegistry.h"
#include "platform/WinTypes.h"
#include "platform/host/registry/RegistryFile.h"
#include "tests/support/TempFolder.h"

namespace {

const char* const kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lingora";

std::string Header(const char* arch) {
    return std::string(
               "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=") +
           arch + "\n";
}

const std::string kWin64Machine =
    Header("win64") +
    "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion] 1796740083\n"
    "#time=1dd8727440107d0\n"
    "\"ProgramFilesDir\"=\"C:\\\\Program Files\"\n"
    "\n[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion] 1796740083\n"
    "#time=1dd8727440107d0\n"
    "\"ProgramFilesDir\"=\"C:\\\\Program Files (x86)\"\n";

RegValue Sz(const std::string& text) { return RegValue{win::REG_SZ, text + '\0'}; }

class HostRegistryTest : public TempFolderTest {
  protected:
    std::filesystem::path File(const char* name) const { return temp_.Path() / name; }
    std::string Read(const char* name) const { return TempFolder::ReadFile(File(name)); }

    // Opens (creating) a key, writes one string value and closes it.
    std::uint32_t Write(HostRegistry& registry, RootKey root, const std::string& path,
                        const std::string& name, const std::string& text) {
        IRegistry::Key key = 0;
        if (const std::uint32_t result = registry.OpenKey(root, path, true, key)) return result;
        const std::uint32_t result = registry.SetValue(key, name, Sz(text));
        registry.CloseKey(key);
        return result;
    }
    std::string Query(HostRegistry& registry, RootKey root, const std::string& path,
                      const std::string& name) {
        IRegistry::Key key = 0;
        if (registry.OpenKey(root, path, false, key) != win::ERROR_SUCCESS) return "<no key>";
        RegValue value;
        const std::uint32_t result = registry.QueryValue(key, name, value);
        registry.CloseKey(key);
        if (result != win::ERROR_SUCCESS) return "<no value>";
        EXPECT_EQ(value.type, win::REG_SZ);
        return value.data;
    }
};

}  // namespace

TEST_F(HostRegistryTest, EmptyPrefixGetsFilesOnFirstWrite) {
    HostRegistry registry(temp_.Path());
    IRegistry::Key key = 0;
    EXPECT_EQ(registry.OpenKey(RootKey::LocalMachine, kUninstall, false, key),
              win::ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(std::filesystem::exists(File("system.reg")));

    ASSERT_EQ(Write(registry, RootKey::LocalMachine, kUninstall, "DisplayName", "Lingora"), 0u);
    ASSERT_EQ(Write(registry, RootKey::ClassesRoot, ".wdl", "", "Lingora.Wordlist"), 0u);
    ASSERT_EQ(Write(registry, RootKey::CurrentUser, "Software\\Tarnwick", "Name", "x"), 0u);

    const std::string machine = Read("system.reg");
    EXPECT_EQ(machine.rfind(Header("win32"), 0), 0u) << machine;
    EXPECT_NE(
        machine.find(
            "\n\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Lingora] "),
        std::string::npos);
    EXPECT_NE(machine.find("\"DisplayName\"=\"Lingora\"\n"), std::string::npos);
    EXPECT_NE(machine.find("[Software\\\\Classes\\\\.wdl] "), std::string::npos);
    EXPECT_NE(machine.find("@=\"Lingora.Wordlist\"\n"), std::string::npos);
    const std::string user = Read("user.reg");
    EXPECT_EQ(
        user.rfind(
            "WINE REGISTRY Version 2\n;; All keys relative to "
            "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win32\n\n[Software\\\\Tarnwick] ",
            0),
        0u)
        << user;

    // Another process (here another instance) sees the values, case-insensitively.
    HostRegistry other(temp_.Path());
    EXPECT_EQ(Query(other, RootKey::LocalMachine,
                    "SOFTWARE\\microsoft\\Windows\\CurrentVersion\\"
                    "uninstall\\LINGORA",
                    "displayname"),
              std::string("Lingora\0", 8));
    EXPECT_EQ(Query(other, RootKey::LocalMachine, "Software\\Classes\\.WDL", ""),
              std::string("Lingora.Wordlist\0", 17));
    IRegistry::Key key2 = 0;
    ASSERT_EQ(other.OpenKey(RootKey::LocalMachine, "Software\\Microsoft", false, key2), 0u);
    std::uint32_t subKeys = 9, values = 9;
    ASSERT_EQ(other.QueryInfoKey(key2, subKeys, values), 0u);
    EXPECT_EQ(subKeys, 1u);
    EXPECT_EQ(values, 0u);
    other.CloseKey(key2);
}

TEST_F(HostRegistryTest, MissingHiveTakesTheArchitectureOfTheOther) {
    temp_.WriteFile("system.reg", kWin64Machine);
    HostRegistry registry(temp_.Path());
    ASSERT_EQ(Write(registry, RootKey::CurrentUser, "Software\\Tarnwick", "Name", "x"), 0u);
    EXPECT_NE(Read("user.reg").find("\n#arch=win64\n"), std::string::npos);
    EXPECT_EQ(Read("system.reg"), kWin64Machine);
}

TEST_F(HostRegistryTest, ThirtyTwoBitViewOfA64BitPrefix) {
    temp_.WriteFile("system.reg", kWin64Machine);
    HostRegistry registry(temp_.Path());
    EXPECT_EQ(Query(registry, RootKey::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion",
                    "ProgramFilesDir"),
              std::string("C:\\Program Files (x86)\0", 23));
    ASSERT_EQ(Write(registry, RootKey::LocalMachine, kUninstall, "DisplayName", "Lingora"), 0u);
    ASSERT_EQ(Write(registry, RootKey::ClassesRoot, ".wdl", "", "Lingora.Wordlist"), 0u);
    ASSERT_EQ(
        Write(registry, RootKey::LocalMachine, "Software\\Classes\\Lingora.Wordlist", "", "w"), 0u);
    ASSERT_EQ(Write(registry, RootKey::CurrentUser, "Software\\Tarnwick", "Name", "x"), 0u);
    const std::string machine = Read("system.reg");
    EXPECT_NE(machine.find("[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\"
                           "Uninstall\\\\Lingora]"),
              std::string::npos);
    EXPECT_EQ(machine.find("[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall"),
              std::string::npos);
    // Classes are shared by both views; HKEY_CURRENT_USER is not redirected.
    EXPECT_NE(machine.find("[Software\\\\Classes\\\\.wdl]"), std::string::npos);
    EXPECT_NE(machine.find("[Software\\\\Classes\\\\Lingora.Wordlist]"), std::string::npos);
    EXPECT_NE(Read("user.reg").find("[Software\\\\Tarnwick]"), std::string::npos);
    // The Software key itself is the same in both views.
    IRegistry::Key key = 0;
    ASSERT_EQ(registry.OpenKey(RootKey::LocalMachine, "Software", false, key), 0u);
    std::uint32_t subKeys = 0, values = 0;
    ASSERT_EQ(registry.QueryInfoKey(key, subKeys, values), 0u);
    EXPECT_EQ(subKeys, 3u);  // Classes, Microsoft, Wow6432Node

    // A 32-bit prefix has one view.
    TempFolder win32;
    win32.WriteFile("system.reg", Header("win32"));
    HostRegistry plain(win32.Path());
    ASSERT_EQ(Write(plain, RootKey::LocalMachine, kUninstall, "DisplayName", "Lingora"), 0u);
    EXPECT_NE(
        TempFolder::ReadFile(win32.Path() / "system.reg")
            .find("[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Lingora]"),
        std::string::npos);
}

TEST_F(HostRegistryTest, TextInTheAnsiCodePage) {
    HostRegistry registry(temp_.Path());
    // "Caf\xe9 \x80" is "Café €" in Windows-1252.
    ASSERT_EQ(Write(registry, RootKey::CurrentUser, "Software\\Caf\xe9", "Pr\xeas", "Caf\xe9 \x80"),
              0u);
    const std::string user = Read("user.reg");
    EXPECT_NE(user.find("[Software\\\\Caf\\xe9] "), std::string::npos) << user;
    EXPECT_NE(user.find("\"Pr\\xeas\"=\"Caf\\xe9 \\x20ac\"\n"), std::string::npos) << user;
    EXPECT_EQ(Query(registry, RootKey::CurrentUser, "SOFTWARE\\CAF\xc9", "PR\xcaS"),
              std::string("Caf\xe9 \x80\0", 7));
}

TEST_F(HostRegistryTest, KeysAndValuesDeletedAsWindowsDoes) {
    HostRegistry registry(temp_.Path());
    const std::string open = "Lingora.Wordlist\\Shell\\Open";
    ASSERT_EQ(Write(registry, RootKey::ClassesRoot, open + "\\command", "", "x"), 0u);
    IRegistry::Key command = 0;
    ASSERT_EQ(registry.OpenKey(RootKey::ClassesRoot, open + "\\command", false, command), 0u);
    EXPECT_EQ(registry.DeleteValue(command, "nothing"), win::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(registry.DeleteValue(command, ""), 0u);
    std::uint32_t subKeys = 9, values = 9;
    ASSERT_EQ(registry.QueryInfoKey(command, subKeys, values), 0u);
    EXPECT_EQ(values, 0u);

    EXPECT_EQ(registry.DeleteKey(RootKey::ClassesRoot, open), win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(registry.DeleteKey(RootKey::ClassesRoot, open + "\\command"), 0u);
    EXPECT_EQ(registry.DeleteKey(RootKey::ClassesRoot, open + "\\command"),
              win::ERROR_FILE_NOT_FOUND);
    // The handle of a deleted key answers as on Windows.
    RegValue value;
    EXPECT_EQ(registry.QueryValue(command, "", value), win::ERROR_KEY_DELETED);
    EXPECT_EQ(registry.SetValue(command, "", Sz("y")), win::ERROR_KEY_DELETED);
    EXPECT_EQ(registry.CloseKey(command), 0u);
    EXPECT_EQ(registry.CloseKey(command), win::ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry.QueryValue(command, "", value), win::ERROR_INVALID_HANDLE);
    // The parent stays, also for another reader of the file.
    HostRegistry other(temp_.Path());
    IRegistry::Key key = 0;
    EXPECT_EQ(other.OpenKey(RootKey::ClassesRoot, open, false, key), 0u);
    EXPECT_EQ(other.DeleteKey(RootKey::ClassesRoot, ""), win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(other.DeleteKey(RootKey::LocalMachine, ""), win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(other.OpenKey(RootKey::ClassesRoot, "a\\\\b", true, key),
              win::ERROR_INVALID_PARAMETER);
}

TEST_F(HostRegistryTest, ChangesByOthersAreSeenAndKept) {
    HostRegistry first(temp_.Path());
    HostRegistry second(temp_.Path());
    ASSERT_EQ(Write(first, RootKey::LocalMachine, kUninstall, "DisplayName", "Lingora"), 0u);
    EXPECT_EQ(Query(second, RootKey::LocalMachine, kUninstall, "DisplayName"),
              std::string("Lingora\0", 8));
    ASSERT_EQ(Write(second, RootKey::LocalMachine, kUninstall, "UninstallString", "C:\\U.exe"), 0u);
    ASSERT_EQ(Write(first, RootKey::LocalMachine, kUninstall, "DisplayName", "Lingora 2"), 0u);
    HostRegistry third(temp_.Path());
    EXPECT_EQ(Query(third, RootKey::LocalMachine, kUninstall, "UninstallString"),
              std::string("C:\\U.exe\0", 9));
    EXPECT_EQ(Query(third, RootKey::LocalMachine, kUninstall, "DisplayName"),
              std::string("Lingora 2\0", 10));

    // A file edited in place (same size, same inode) is read again too.
    const std::string text = Read("system.reg");
    std::string edited = text;
    edited.replace(edited.find("Lingora 2"), 9, "Lingora 3");
    temp_.WriteFile("system.reg", edited);
    struct timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, File("system.reg").c_str(), times, 0), 0);
    EXPECT_EQ(Query(first, RootKey::LocalMachine, kUninstall, "DisplayName"),
              std::string("Lingora 3\0", 10));
}

TEST_F(HostRegistryTest, ReadOnlyFileIsNotReplaced) {
    temp_.WriteFile("system.reg", kWin64Machine);
    ASSERT_EQ(chmod(File("system.reg").c_str(), 0444), 0);
    HostRegistry registry(temp_.Path());
    IRegistry::Key key = 0;
    EXPECT_EQ(registry.CheckWritable(), win::ERROR_ACCESS_DENIED);
    EXPECT_NE(registry.LastErrorText().find("system.reg\" cannot be written"), std::string::npos);
    EXPECT_EQ(registry.OpenKey(RootKey::LocalMachine, kUninstall, true, key),
              win::ERROR_ACCESS_DENIED);
    EXPECT_NE(registry.LastErrorText().find("system.reg\" cannot be written"), std::string::npos);
    ASSERT_EQ(registry.OpenKey(RootKey::LocalMachine,
                               "Software\\Microsoft\\Windows\\CurrentVersion", false, key),
              0u);
    EXPECT_EQ(registry.LastErrorText(), "");
    EXPECT_EQ(registry.SetValue(key, "ProgramFilesDir", Sz("D:\\")), win::ERROR_ACCESS_DENIED);
    // The refused change is not kept in memory either.
    RegValue value;
    ASSERT_EQ(registry.QueryValue(key, "ProgramFilesDir", value), 0u);
    EXPECT_EQ(value.data, std::string("C:\\Program Files (x86)\0", 23));
    EXPECT_EQ(Read("system.reg"), kWin64Machine);
    struct stat st {};
    ASSERT_EQ(stat(File("system.reg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    // A writable file keeps its permissions when replaced.
    ASSERT_EQ(chmod(File("system.reg").c_str(), 0640), 0);
    EXPECT_EQ(registry.SetValue(key, "ProgramFilesDir", Sz("D:\\")), 0u);
    ASSERT_EQ(stat(File("system.reg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // No temporary file is left beside it.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(temp_.Path()))
        files += !entry.is_directory();
    EXPECT_EQ(files, 1);
}

// A linked registry file is written through to its target, in the target's
// folder, as Wine writes it; the link stays a link.
TEST_F(HostRegistryTest, ALinkedFileIsWrittenThroughItsLink) {
    temp_.WriteFile("elsewhere/hives/system.reg", kWin64Machine);
    std::filesystem::create_directory(temp_.Path() / "prefix");
    std::filesystem::create_symlink("../elsewhere/hives/system.reg",
                                    temp_.Path() / "prefix" / "system.reg");
    HostRegistry registry(temp_.Path() / "prefix");
    ASSERT_EQ(registry.CheckWritable(), 0u) << registry.LastErrorText();
    ASSERT_EQ(Write(registry, RootKey::LocalMachine, kUninstall, "DisplayName", "Lingora"), 0u);
    EXPECT_TRUE(std::filesystem::is_symlink(temp_.Path() / "prefix" / "system.reg"));
    EXPECT_NE(Read("elsewhere/hives/system.reg").find("\"DisplayName\"=\"Lingora\""),
              std::string::npos);
    EXPECT_EQ(Query(registry, RootKey::LocalMachine, kUninstall, "DisplayName"),
              std::string("Lingora\0", 8));
    // The new copy was made beside the target, and none is left anywhere.
    for (const char* folder : {"prefix", "elsewhere/hives"}) {
        int entries = 0;
        for ([[maybe_unused]] const auto& entry :
             std::filesystem::directory_iterator(temp_.Path() / folder))
            ++entries;
        EXPECT_EQ(entries, 1) << folder;
    }
}

TEST_F(HostRegistryTest, UnreadableFileIsNeverRewritten) {
    const std::string broken = Header("win32") + "\n[Software\\\\Open 1796740083\n\"x\"=\"1\"\n";
    temp_.WriteFile("system.reg", broken);
    HostRegistry registry(temp_.Path());
    EXPECT_NE(registry.CheckWritable(), 0u);
    EXPECT_NE(registry.LastErrorText().find("line 6"), std::string::npos);
    IRegistry::Key key = 0;
    EXPECT_NE(registry.OpenKey(RootKey::LocalMachine, kUninstall, true, key), 0u);
    EXPECT_NE(
        registry.LastErrorText().find("system.reg\" cannot be read: line 6: a key name without "
                                      "its closing bracket"),
        std::string::npos)
        << registry.LastErrorText();
    EXPECT_NE(registry.OpenKey(RootKey::ClassesRoot, ".wdl", true, key), 0u);
    EXPECT_NE(registry.DeleteKey(RootKey::LocalMachine, "Software"), 0u);
    EXPECT_NE(registry.OpenKey(RootKey::LocalMachine, "Software", false, key), 0u);
    EXPECT_EQ(Read("system.reg"), broken);
    // The other hive is not affected.
    EXPECT_EQ(Write(registry, RootKey::CurrentUser, "Software\\Tarnwick", "Name", "x"), 0u);
    // Once the file is mended, it is used again.
    temp_.WriteFile("system.reg", Header("win32"));
    EXPECT_EQ(registry.CheckWritable(), 0u);
    EXPECT_EQ(registry.LastErrorText(), "");
    EXPECT_EQ(Write(registry, RootKey::LocalMachine, kUninstall, "DisplayName", "Lingora"), 0u);

    // A user.reg whose architecture contradicts system.reg is refused too.
    TempFolder mixed;
    mixed.WriteFile("system.reg", kWin64Machine);
    const std::string user = "WINE REGISTRY Version 2\n\n#arch=win32\n";
    mixed.WriteFile("user.reg", user);
    HostRegistry mixedRegistry(mixed.Path());
    EXPECT_NE(Write(mixedRegistry, RootKey::CurrentUser, "Software\\T", "Name", "x"), 0u);
    EXPECT_NE(mixedRegistry.LastErrorText().find("#arch"), std::string::npos);
    EXPECT_EQ(TempFolder::ReadFile(mixed.Path() / "user.reg"), user);
}

// A disk that fills up: on a small tmpfs (mounted as root; skipped where that
// is not allowed), the save fails with the disk's reason, the registry file
// stays whole and no unfinished copy is left beside it.
TEST_F(HostRegistryTest, FullDiskLeavesTheFileWholeAndSaysWhy) {
    const std::filesystem::path disk = temp_.Path() / "disk";
    std::filesystem::create_directories(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=512k") != 0)
        GTEST_SKIP() << "a small tmpfs cannot be mounted here: " << std::strerror(errno);
    struct Unmount {
        std::filesystem::path folder;
        ~Unmount() { ::umount2(folder.c_str(), MNT_DETACH); }
    } unmount{disk};
    const std::filesystem::path prefix = disk / "prefix";
    std::filesystem::create_directories(prefix);
    HostRegistry registry(prefix);
    ASSERT_EQ(Write(registry, RootKey::LocalMachine, "Software\\Before", "Name", "kept"), 0u);
    const std::string before = TempFolder::ReadFile(prefix / "system.reg");

    {
        // Everything that is left taken.
        std::ofstream filler(disk / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), block.size()) && filler.flush()) {
        }
    }
    const ScopedPlatform installed(Platform{nullptr, &registry, nullptr, nullptr});
    TRegistry writer;
    writer.SetRootKey(RootKey::LocalMachine);
    writer.OpenKey(kUninstall, true);
    try {
        writer.WriteString("DisplayName", "Lingora");
        ADD_FAILURE() << "the save did not fail";
    } catch (const ERegistryException& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Failed to set data for 'DisplayName'\nThere is not enough space on the disk.");
    }
    EXPECT_NE(registry.LastErrorText().find("system.reg"), std::string::npos)
        << registry.LastErrorText();
    EXPECT_TRUE(TempFolder::ReadFile(prefix / "system.reg") == before);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(prefix))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"system.reg"});

    // With room again, the same write goes through.
    std::filesystem::remove(disk / "filler");
    ASSERT_TRUE(writer.OpenKey(std::string("\\") + kUninstall, true));
    writer.WriteString("DisplayName", "Lingora");
    EXPECT_EQ(Query(registry, RootKey::LocalMachine, kUninstall, "DisplayName"),
              std::string("Lingora\0", 8));
}
