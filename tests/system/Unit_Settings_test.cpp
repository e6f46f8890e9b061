#include "system/Unit_Settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/TRegistry.h"
#include "platform/WinTypes.h"
#include "tests/support/Doubles.h"
#include "tests/support/RegistryFileReader.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TempPrefix.h"

namespace {

// One value write as the registry saw it.
struct Write {
    RootKey root;
    std::string key, name, data;
    std::uint32_t type;
    bool operator==(const Write&) const = default;
};

// Records what reaches the registry, keeps count of open keys, and can refuse
// changes: every creation and write (a read-only registry), or the writes
// into one key.
class RecordingRegistry : public ForwardingRegistry {
  public:
    using ForwardingRegistry::ForwardingRegistry;

    bool readOnly = false;
    std::string refuseWritesBelow;  // a key path (no leading backslash)
    std::vector<Write> writes;
    std::vector<std::string> created;  // keys opened with create, in order
    int openKeys = 0;

    std::uint32_t OpenKey(RootKey root, const std::string& path, bool create, Key& key) override {
        if (create && readOnly) return win::ERROR_ACCESS_DENIED;
        const std::uint32_t result = Inner().OpenKey(root, path, create, key);
        if (result == win::ERROR_SUCCESS) {
            ++openKeys;
            open_[key] = {root, path};
            if (create) created.push_back(path);
        }
        return result;
    }
    std::uint32_t CloseKey(Key key) override {
        --openKeys;
        open_.erase(key);
        return Inner().CloseKey(key);
    }
    std::uint32_t SetValue(Key key, const std::string& name, const RegValue& value) override {
        const auto& [root, path] = open_[key];
        if (readOnly || (!refuseWritesBelow.empty() && path == refuseWritesBelow))
            return win::ERROR_ACCESS_DENIED;
        writes.push_back({root, path, name, value.data, value.type});
        return Inner().SetValue(key, name, value);
    }

  private:
    std::map<Key, std::pair<RootKey, std::string>> open_;
};

constexpr char UninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lingora";

std::vector<Write> ExpectedWrites(const std::string& exe, const std::string& uninst) {
    const auto lm = RootKey::LocalMachine;
    const auto cr = RootKey::ClassesRoot;
    const std::uint32_t sz = win::REG_SZ;
    return {
        {lm, UninstallKey, "DisplayName", std::string("Lingora\0", 8), sz},
        {lm, UninstallKey, "UninstallString", uninst + '\0', sz},
        {cr, ".wdl", "", std::string("Lingora.Wordlist\0", 17), sz},
        {cr, "Lingora.Wordlist", "", std::string("Lingora wordlist\0", 17), sz},
        {cr, "Lingora.Wordlist\\DefaultIcon", "", exe + ",1" + '\0', sz},
        {cr, "Lingora.Wordlist\\Shell", "", std::string("Open\0", 5), sz},
        {cr, "Lingora.Wordlist\\Shell\\Open\\command", "", exe + " \"%1\"" + '\0', sz},
    };
}

class SettingsTest : public TempPrefixTest {
  protected:
    SettingsTest() : recorder_(Registry()) {
        Platform platform = CurrentPlatform();
        platform.registry = &recorder_;
        recording_ = std::make_unique<ScopedPlatform>(platform);
    }

    std::string ReadString(RootKey root, const std::string& key, const std::string& name) {
        TRegistry registry;
        registry.SetRootKey(root);
        if (!registry.OpenKey(key, false)) return "<no key>";
        if (!registry.ValueExists(name)) return "<no value>";
        return registry.ReadString(name);
    }
    bool KeyExists(RootKey root, const std::string& key) {
        TRegistry registry;
        registry.SetRootKey(root);
        return registry.KeyExists(key);
    }
    std::map<std::string, std::vector<std::string>> SystemReg() {
        return RegistryFileKeys(TempFolder::ReadFile(prefix_.Folder() / "system.reg"));
    }

    RecordingRegistry recorder_;
    std::unique_ptr<ScopedPlatform> recording_;
};

TEST_F(SettingsTest, WritesTheEightRowsInOrderAndReleasesEveryKey) {
    WriteRegistryEntries("C:\\Program Files\\Lingora");
    EXPECT_EQ(recorder_.writes, ExpectedWrites("C:\\Program Files\\Lingora\\Lingora.exe",
                                               "C:\\Program Files\\Lingora\\Uninst.exe"));
    // The verb key is created on its own, between the Shell key and its command.
    EXPECT_EQ(recorder_.created,
              (std::vector<std::string>{UninstallKey, ".wdl", "Lingora.Wordlist",
                                        "Lingora.Wordlist\\DefaultIcon", "Lingora.Wordlist\\Shell",
                                        "Lingora.Wordlist\\Shell\\Open",
                                        "Lingora.Wordlist\\Shell\\Open\\command"}));
    EXPECT_EQ(recorder_.openKeys, 0);
}

TEST_F(SettingsTest, RowsReadBackThroughTheRegistryAndFromTheRegistryFile) {
    WriteRegistryEntries("D:\\Program Files\\Lingora");
    EXPECT_EQ(ReadString(RootKey::LocalMachine, std::string("\\") + UninstallKey, "DisplayName"),
              "Lingora");
    EXPECT_EQ(ReadString(RootKey::ClassesRoot, "\\Lingora.Wordlist\\Shell\\Open\\command", ""),
              "D:\\Program Files\\Lingora\\Lingora.exe \"%1\"");
    TRegistry registry;
    registry.SetRootKey(RootKey::ClassesRoot);
    ASSERT_TRUE(registry.OpenKey("\\Lingora.Wordlist\\Shell\\Open", false));
    TRegKeyInfo info;
    ASSERT_TRUE(registry.GetKeyInfo(info));
    EXPECT_EQ(info.NumValues, 0u);
    registry.CloseKey();

    // As Wine finds them in system.reg: HKEY_CLASSES_ROOT is Software\Classes.
    auto keys = SystemReg();
    using Lines = std::vector<std::string>;
    EXPECT_EQ(keys["Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Lingora"],
              (Lines{"\"DisplayName\"=\"Lingora\"",
                     "\"UninstallString\"=\"D:\\\\Program Files\\\\Lingora\\\\Uninst.exe\""}));
    EXPECT_EQ(keys["Software\\\\Classes\\\\.wdl"], Lines{"@=\"Lingora.Wordlist\""});
    EXPECT_EQ(keys["Software\\\\Classes\\\\Lingora.Wordlist"], Lines{"@=\"Lingora wordlist\""});
    EXPECT_EQ(keys["Software\\\\Classes\\\\Lingora.Wordlist\\\\DefaultIcon"],
              Lines{"@=\"D:\\\\Program Files\\\\Lingora\\\\Lingora.exe,1\""});
    EXPECT_EQ(keys["Software\\\\Classes\\\\Lingora.Wordlist\\\\Shell"], Lines{"@=\"Open\""});
    ASSERT_TRUE(keys.count("Software\\\\Classes\\\\Lingora.Wordlist\\\\Shell\\\\Open"));
    EXPECT_EQ(keys["Software\\\\Classes\\\\Lingora.Wordlist\\\\Shell\\\\Open"], Lines{});
    EXPECT_EQ(keys["Software\\\\Classes\\\\Lingora.Wordlist\\\\Shell\\\\Open\\\\command"],
              Lines{"@=\"D:\\\\Program Files\\\\Lingora\\\\Lingora.exe \\\"%1\\\"\""});
}

TEST_F(SettingsTest, DriveRootKeepsItsSingleBackslash) {
    WriteRegistryEntries("C:\\");
    EXPECT_EQ(recorder_.writes, ExpectedWrites("C:\\Lingora.exe", "C:\\Uninst.exe"));
}

TEST_F(SettingsTest, ExistingKeysKeepTheirOtherValues) {
    {
        TRegistry registry;
        registry.SetRootKey(RootKey::LocalMachine);
        ASSERT_TRUE(registry.OpenKey(std::string("\\") + UninstallKey, true));
        registry.WriteString("UninstallString", "C:\\Old\\Uninst.exe");
        registry.WriteString("Publisher", "Tarnwick");
        registry.SetRootKey(RootKey::ClassesRoot);
        ASSERT_TRUE(registry.OpenKey("\\Lingora.Wordlist\\Shell\\Open\\command", true));
        registry.WriteString("", "C:\\Old\\Lingora.exe \"%1\"");
        registry.WriteString("Extra", "kept");
    }
    WriteRegistryEntries("C:\\New");
    const std::string uninstall = std::string("\\") + UninstallKey;
    EXPECT_EQ(ReadString(RootKey::LocalMachine, uninstall, "UninstallString"),
              "C:\\New\\Uninst.exe");
    EXPECT_EQ(ReadString(RootKey::LocalMachine, uninstall, "Publisher"), "Tarnwick");
    EXPECT_EQ(ReadString(RootKey::ClassesRoot, "\\Lingora.Wordlist\\Shell\\Open\\command", ""),
              "C:\\New\\Lingora.exe \"%1\"");
    EXPECT_EQ(ReadString(RootKey::ClassesRoot, "\\Lingora.Wordlist\\Shell\\Open\\command", "Extra"),
              "kept");
}

TEST_F(SettingsTest, ReadOnlyRegistryFailsAtTheFirstValueAndWritesNothingElse) {
    recorder_.readOnly = true;
    try {
        WriteRegistryEntries("C:\\Lingora");
        FAIL() << "no error";
    } catch (const ERegistryException& error) {
        EXPECT_STREQ(error.what(), "Failed to set data for 'DisplayName'");
    }
    EXPECT_TRUE(recorder_.writes.empty());
    EXPECT_FALSE(KeyExists(RootKey::ClassesRoot, "\\.wdl"));
    EXPECT_FALSE(KeyExists(RootKey::ClassesRoot, "\\Lingora.Wordlist"));
    EXPECT_EQ(recorder_.openKeys, 0);
}

TEST_F(SettingsTest, ExistingUninstallKeyThatCannotBeWrittenFailsAtTheFirstValue) {
    // Opening an existing key succeeds for a user who may only read it; the
    // first write is what fails.
    {
        TRegistry registry;
        registry.SetRootKey(RootKey::LocalMachine);
        ASSERT_TRUE(registry.OpenKey(std::string("\\") + UninstallKey, true));
        registry.WriteString("UninstallString", "C:\\Old\\Uninst.exe");
    }
    ReadOnlyRegistry readOnly(recorder_);
    Platform platform = CurrentPlatform();
    platform.registry = &readOnly;
    ScopedPlatform installed(platform);
    try {
        WriteRegistryEntries("C:\\Lingora");
        FAIL() << "no error";
    } catch (const ERegistryException& error) {
        EXPECT_STREQ(error.what(), "Failed to set data for 'DisplayName'");
    }
    EXPECT_EQ(
        ReadString(RootKey::LocalMachine, std::string("\\") + UninstallKey, "UninstallString"),
        "C:\\Old\\Uninst.exe");
    EXPECT_FALSE(KeyExists(RootKey::ClassesRoot, "\\.wdl"));
    EXPECT_EQ(recorder_.openKeys, 0);
}

TEST(SettingsOn64BitPrefix, UninstallEntryGoesWhereA32BitProgramWritesIt) {
    TempPrefix prefix(PrefixArch::Win64);
    WriteRegistryEntries("C:\\Program Files (x86)\\Lingora");
    auto keys = RegistryFileKeys(TempFolder::ReadFile(prefix.Folder() / "system.reg"));
    EXPECT_EQ(keys["Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall"
                   "\\\\Lingora"]
                  .size(),
              2u);
    EXPECT_EQ(
        keys.count("Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Lingora"),
        0u);
    // File types are shared by both views.
    EXPECT_EQ(keys["Software\\\\Classes\\\\.wdl"],
              std::vector<std::string>{"@=\"Lingora.Wordlist\""});
}

TEST_F(SettingsTest, FailedDefaultValueStopsAtItsRowWithTheKeysReleased) {
    recorder_.refuseWritesBelow = "Lingora.Wordlist\\DefaultIcon";
    try {
        WriteRegistryEntries("C:\\Lingora");
        FAIL() << "no error";
    } catch (const ERegistryException& error) {
        EXPECT_STREQ(error.what(), "Failed to set data for ''");
    }
    EXPECT_EQ(recorder_.writes.size(), 4u);  // rows 1 to 4
    EXPECT_EQ(ReadString(RootKey::ClassesRoot, "\\Lingora.Wordlist", ""), "Lingora wordlist");
    EXPECT_FALSE(KeyExists(RootKey::ClassesRoot, "\\Lingora.Wordlist\\Shell"));
    EXPECT_EQ(recorder_.openKeys, 0);
}

}  // namespace
