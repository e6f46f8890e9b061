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
#include "registrynames/RegistryNames.h"
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
// the writes into one key. (A registry that refuses every change is
// ReadOnlyRegistry, put in front of it.)
class RecordingRegistry : public ForwardingRegistry {
  public:
    using ForwardingRegistry::ForwardingRegistry;

    std::string refuseWritesBelow;  // a key path (no leading backslash)
    std::vector<Write> writes;
    std::vector<std::string> created;  // keys opened with create, in order
    int openKeys = 0;

    std::uint32_t OpenKey(RootKey root, const std::string& path, bool create, Key& key) override {
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
        if (!refuseWritesBelow.empty() && path == refuseWritesBelow)
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
    ReadOnlyRegistry readOnly(recorder_);
    Platform platform = CurrentPlatform();
    platform.registry = &readOnly;
    ScopedPlatform installed(platform);
    try {
        WriteRegistryEntries("C:\\Lingora");
        FAIL() << "no error";
    } catch (const ERegistryException& error) {
        EXPECT_STREQ(error.what(), "Failed to set data for 'DisplayName'\nAccess is denied.");
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
        EXPECT_STREQ(error.what(), "Failed to set data for 'DisplayName'\nAccess is denied.");
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
        EXPECT_STREQ(error.what(), "Failed to set data for ''\nAccess is denied.");
    }
    EXPECT_EQ(recorder_.writes.size(), 4u);  // rows 1 to 4
    EXPECT_EQ(ReadString(RootKey::ClassesRoot, "\\Lingora.Wordlist", ""), "Lingora wordlist");
    EXPECT_FALSE(KeyExists(RootKey::ClassesRoot, "\\Lingora.Wordlist\\Shell"));
    EXPECT_EQ(recorder_.openKeys, 0);
}

// The keys of both registry files with their value lines, the stamps left out.
struct RegistryRows {
    std::map<std::string, std::vector<std::string>> system, user;
};

RegistryRows ReadRows(const TempPrefix& prefix) {
    return {RegistryFileKeys(TempFolder::ReadFile(prefix.Folder() / "system.reg")),
            RegistryFileKeys(TempFolder::ReadFile(prefix.Folder() / "user.reg"))};
}

using Lines = std::vector<std::string>;

// system.reg's name of an HKEY_CLASSES_ROOT key.
std::string ClassesRow(const std::string& key) { return "Software\\\\Classes\\\\" + key; }

constexpr char UninstallRow[] =
    "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Lingora";

// Writes a text value, creating the key.
void SetString(RootKey root, const std::string& key, const std::string& name,
               const std::string& text) {
    TRegistry registry;
    registry.SetRootKey(root);
    ASSERT_TRUE(registry.OpenKey(key, true)) << key;
    registry.WriteString(name, text);
}

// The rows of system.reg for the key and the keys below it.
std::map<std::string, Lines> RowsUnder(const TempPrefix& prefix, const std::string& row) {
    std::map<std::string, Lines> rows;
    for (auto& [key, lines] :
         RegistryFileKeys(TempFolder::ReadFile(prefix.Folder() / "system.reg")))
        if (key == row || key.starts_with(row + "\\\\")) rows[key] = lines;
    return rows;
}

// Installs and removes the entries on the prefix, then expects its registry
// files to hold what they held before.
void ExpectRemovalRestoresTheRegistry(const TempPrefix& prefix, const std::string& uninstallRow) {
    const RegistryRows before = ReadRows(prefix);
    WriteRegistryEntries("C:\\Program Files\\Lingora");
    ASSERT_EQ(ReadRows(prefix).system[uninstallRow].size(), 2u);

    RemoveRegistryEntries();
    const RegistryRows after = ReadRows(prefix);
    EXPECT_EQ(after.system, before.system);
    EXPECT_EQ(after.user, before.user);

    // A second removal finds nothing of ours and changes nothing.
    const std::string system = TempFolder::ReadFile(prefix.Folder() / "system.reg");
    RemoveRegistryEntries();
    EXPECT_EQ(TempFolder::ReadFile(prefix.Folder() / "system.reg"), system);
}

TEST_F(SettingsTest, RemovalLeavesTheRegistryAsBeforeTheInstallation) {
    ExpectRemovalRestoresTheRegistry(prefix_, UninstallRow);
    // The seven keys of the installation; the removals create none.
    EXPECT_EQ(recorder_.created.size(), 7u);
    EXPECT_EQ(recorder_.openKeys, 0);
}

TEST_F(SettingsTest, RemovalLeavesFileTypesOfOthersAsBeforeTheInstallation) {
    // HKEY_CLASSES_ROOT as a prefix that Wine made holds it: other file types.
    SetString(RootKey::ClassesRoot, "\\.txt", "", "txtfile");
    SetString(RootKey::ClassesRoot, "\\txtfile\\Shell\\Open\\command", "", "notepad.exe \"%1\"");
    ExpectRemovalRestoresTheRegistry(prefix_, UninstallRow);
}

TEST(SettingsOn64BitPrefix, RemovalLeavesTheRegistryAsBeforeTheInstallation) {
    TempPrefix prefix(PrefixArch::Win64);
    ExpectRemovalRestoresTheRegistry(
        prefix,
        "Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall"
        "\\\\Lingora");
}

// Another program's data in and beside the uninstall entry, each case on a
// prefix of its own: what it added is all that stays.
TEST(SettingsRemoval, KeepsWhatOthersKeepInAndBesideTheUninstallEntry) {
    const std::string entry = std::string("\\") + UninstallKey;
    const std::string list = "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall";
    const std::string row = list + "\\\\Lingora";
    struct Case {
        const char* what;
        std::string key;
        const char* name;
        std::map<std::string, Lines> remaining;
    };
    const Case cases[] = {
        {"a value in the entry", entry, "Publisher", {{row, {"\"Publisher\"=\"x\""}}}},
        {"a subkey of the entry",
         entry + "\\Support",
         "Url",
         {{row, {}}, {row + "\\\\Support", {"\"Url\"=\"x\""}}}},
        {"another program's entry",
         entry + "Pro",
         "DisplayName",
         {{row + "Pro", {"\"DisplayName\"=\"x\""}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempPrefix prefix;
        WriteRegistryEntries("C:\\Lingora");
        SetString(RootKey::LocalMachine, c.key, c.name, "x");
        RemoveRegistryEntries();
        EXPECT_EQ(RowsUnder(prefix, list), c.remaining);
    }
}

TEST_F(SettingsTest, RemovalNeverDeletesCurrentVersion) {
    // A machine whose CurrentVersion held nothing but the uninstall entries.
    {
        TRegistry registry;
        registry.SetRootKey(RootKey::LocalMachine);
        ASSERT_TRUE(registry.OpenKey(regnames::CurrentVersionKey, false));
        ASSERT_TRUE(registry.DeleteValue(regnames::ProgramFilesDirValue));
    }
    WriteRegistryEntries("C:\\Lingora");
    RemoveRegistryEntries();
    EXPECT_FALSE(
        KeyExists(RootKey::LocalMachine, std::string(regnames::CurrentVersionKey) + "\\Uninstall"));
    EXPECT_TRUE(KeyExists(RootKey::LocalMachine, regnames::CurrentVersionKey));
    EXPECT_EQ(SystemReg()["Software\\\\Microsoft\\\\Windows\\\\CurrentVersion"], Lines{});
}

// What a user or another program added to the file type, each case on a
// prefix of its own: it stays with the keys that lead to it, without our values.
TEST(SettingsRemoval, KeepsWhatOthersAddedToTheFileType) {
    const std::string type = ClassesRow("Lingora.Wordlist");
    const std::string shell = type + "\\\\Shell";
    struct Case {
        const char* what;
        const char* key;
        const char* name;
        std::map<std::string, Lines> remaining;
    };
    const Case cases[] = {
        {"another verb",
         "\\Lingora.Wordlist\\Shell\\Print\\command",
         "",
         {{type, {}}, {shell, {}}, {shell + "\\\\Print\\\\command", {"@=\"x\""}}}},
        {"a value of the verb's command",
         "\\Lingora.Wordlist\\Shell\\Open\\command",
         "DelegateExecute",
         {{type, {}},
          {shell, {}},
          {shell + "\\\\Open", {}},
          {shell + "\\\\Open\\\\command", {"\"DelegateExecute\"=\"x\""}}}},
        {"a value of the verb",
         "\\Lingora.Wordlist\\Shell\\Open",
         "MUIVerb",
         {{type, {}}, {shell, {}}, {shell + "\\\\Open", {"\"MUIVerb\"=\"x\""}}}},
        {"a value of Shell",
         "\\Lingora.Wordlist\\Shell",
         "Extended",
         {{type, {}}, {shell, {"\"Extended\"=\"x\""}}}},
        {"a value of DefaultIcon",
         "\\Lingora.Wordlist\\DefaultIcon",
         "Size",
         {{type, {}}, {type + "\\\\DefaultIcon", {"\"Size\"=\"x\""}}}},
        {"a value of the type",
         "\\Lingora.Wordlist",
         "FriendlyTypeName",
         {{type, {"\"FriendlyTypeName\"=\"x\""}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempPrefix prefix;
        WriteRegistryEntries("C:\\Lingora");
        SetString(RootKey::ClassesRoot, c.key, c.name, "x");
        RemoveRegistryEntries();
        EXPECT_EQ(RowsUnder(prefix, type), c.remaining);
        // The extension named our type: it goes whatever the type keeps.
        EXPECT_EQ(RowsUnder(prefix, ClassesRow(".wdl")).size(), 0u);
    }
}

TEST_F(SettingsTest, RemovalKeepsTheExtensionWhenItNoLongerNamesTheFileType) {
    struct Case {
        const char* what;
        RegValue value;
        bool removed;
    };
    const Case cases[] = {
        {"another type", {win::REG_SZ, std::string("Other.Wordlist\0", 15)}, false},
        {"a longer name", {win::REG_SZ, std::string("Lingora.Wordlist.2\0", 19)}, false},
        {"binary data", {win::REG_BINARY, "Lingora.Wordlist"}, false},
        {"our type in other case", {win::REG_SZ, std::string("LINGORA.wordlist\0", 17)}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteRegistryEntries("C:\\Lingora");
        IRegistry::Key key = 0;
        ASSERT_EQ(Registry().OpenKey(RootKey::ClassesRoot, ".wdl", false, key), win::ERROR_SUCCESS);
        ASSERT_EQ(Registry().SetValue(key, "", c.value), win::ERROR_SUCCESS);
        Registry().CloseKey(key);
        const Lines before = SystemReg()[ClassesRow(".wdl")];

        EXPECT_NO_THROW(RemoveRegistryEntries());
        EXPECT_EQ(KeyExists(RootKey::ClassesRoot, "\\.wdl"), !c.removed);
        if (!c.removed) {
            EXPECT_EQ(SystemReg()[ClassesRow(".wdl")], before);
        }
        // The file type itself is ours whatever the extension names now.
        EXPECT_FALSE(KeyExists(RootKey::ClassesRoot, "\\Lingora.Wordlist"));
        EXPECT_EQ(recorder_.openKeys, 0);

        TRegistry registry;
        registry.SetRootKey(RootKey::ClassesRoot);
        registry.DeleteKey("\\.wdl");
    }
}

TEST_F(SettingsTest, RemovalOnARegistryThatRefusesChangesChangesNothing) {
    WriteRegistryEntries("C:\\Lingora");
    const std::string system = TempFolder::ReadFile(prefix_.Folder() / "system.reg");
    const std::string user = TempFolder::ReadFile(prefix_.Folder() / "user.reg");
    recorder_.created.clear();
    {
        ReadOnlyRegistry readOnly(recorder_);
        Platform platform = CurrentPlatform();
        platform.registry = &readOnly;
        ScopedPlatform installed(platform);
        EXPECT_NO_THROW(RemoveRegistryEntries());
    }
    EXPECT_EQ(TempFolder::ReadFile(prefix_.Folder() / "system.reg"), system);
    EXPECT_EQ(TempFolder::ReadFile(prefix_.Folder() / "user.reg"), user);
    EXPECT_TRUE(recorder_.created.empty());
    EXPECT_EQ(recorder_.openKeys, 0);
}

}  // namespace
