#include "platform/TRegistry.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/WinTypes.h"

namespace {

// A registry of keys named by root and path, enough to see which keys and
// values the registry object asks for.
class MapRegistry : public IRegistry {
  public:
    std::map<std::string, std::map<std::string, RegValue>> keys;
    std::vector<std::string> opened;
    bool readOnly = false;

    static std::string Name(RootKey root, const std::string& path) {
        const char* rootName = root == RootKey::LocalMachine  ? "HKEY_LOCAL_MACHINE"
                               : root == RootKey::ClassesRoot ? "HKEY_CLASSES_ROOT"
                                                              : "HKEY_CURRENT_USER";
        return std::string(rootName) + "\\" + path;
    }
    std::uint32_t OpenKey(RootKey root, const std::string& path, bool create, Key& key) override {
        const std::string name = Name(root, path);
        opened.push_back(name);
        if (!keys.count(name)) {
            if (!create || readOnly) return win::ERROR_FILE_NOT_FOUND;
            keys[name];
        }
        handles.push_back(name);
        key = static_cast<Key>(handles.size());
        return win::ERROR_SUCCESS;
    }
    std::uint32_t CloseKey(Key) override { return win::ERROR_SUCCESS; }
    std::uint32_t QueryValue(Key key, const std::string& name, RegValue& value) override {
        auto& values = keys[handles[key - 1]];
        if (!values.count(name)) return win::ERROR_FILE_NOT_FOUND;
        value = values[name];
        return win::ERROR_SUCCESS;
    }
    std::uint32_t SetValue(Key key, const std::string& name, const RegValue& value) override {
        if (readOnly) return win::ERROR_ACCESS_DENIED;
        keys[handles[key - 1]][name] = value;
        return win::ERROR_SUCCESS;
    }
    std::uint32_t DeleteValue(Key key, const std::string& name) override {
        return keys[handles[key - 1]].erase(name) ? win::ERROR_SUCCESS : win::ERROR_FILE_NOT_FOUND;
    }
    std::uint32_t QueryInfoKey(Key key, std::uint32_t& subKeys, std::uint32_t& values) override {
        const std::string prefix = handles[key - 1] + "\\";
        subKeys = 0;
        for (const auto& [name, ignored] : keys)
            if (name.rfind(prefix, 0) == 0 && name.find('\\', prefix.size()) == std::string::npos)
                ++subKeys;
        values = static_cast<std::uint32_t>(keys[handles[key - 1]].size());
        return win::ERROR_SUCCESS;
    }
    std::uint32_t DeleteKey(RootKey root, const std::string& path) override {
        return keys.erase(Name(root, path)) ? win::ERROR_SUCCESS : win::ERROR_FILE_NOT_FOUND;
    }
    std::string ChangesRefusedReason() override { return {}; }

  private:
    std::vector<std::string> handles;
};

class TRegistryTest : public testing::Test {
  protected:
    MapRegistry registry_;
    ScopedPlatform platform_{Platform{nullptr, &registry_, nullptr, nullptr}};
};

TEST_F(TRegistryTest, KeyPathsWithALeadingBackslashStartAtTheRoot) {
    TRegistry reg;
    reg.SetRootKey(RootKey::ClassesRoot);
    ASSERT_TRUE(reg.OpenKey("\\Lingora.Wordlist\\Shell", true));
    ASSERT_TRUE(reg.OpenKey("Open", true));  // relative to the open key
    ASSERT_TRUE(reg.OpenKey("\\.wdl", true));
    EXPECT_EQ(registry_.opened,
              (std::vector<std::string>{"HKEY_CLASSES_ROOT\\Lingora.Wordlist\\Shell",
                                        "HKEY_CLASSES_ROOT\\Lingora.Wordlist\\Shell\\Open",
                                        "HKEY_CLASSES_ROOT\\.wdl"}));
}

TEST_F(TRegistryTest, StringsAreStoredWithTheirTerminatingZero) {
    TRegistry reg;
    reg.SetRootKey(RootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Lingora", true));
    reg.WriteString("DisplayName", "Lingora");
    reg.WriteString("", "default");
    const RegValue stored = registry_.keys["HKEY_LOCAL_MACHINE\\Software\\Lingora"]["DisplayName"];
    EXPECT_EQ(stored.type, win::REG_SZ);
    EXPECT_EQ(stored.data, std::string("Lingora\0", 8));
    EXPECT_TRUE(reg.ValueExists("DisplayName"));
    EXPECT_EQ(reg.ReadString("DisplayName"), "Lingora");
    EXPECT_EQ(reg.ReadString(""), "default");
    EXPECT_EQ(reg.ReadString("Missing"), "");
    EXPECT_FALSE(reg.ValueExists("Missing"));
}

TEST_F(TRegistryTest, AFailedWriteNamesTheValue) {
    TRegistry reg;
    reg.SetRootKey(RootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Lingora", true));
    registry_.readOnly = true;
    try {
        reg.WriteString("DisplayName", "Lingora");
        FAIL() << "no error";
    } catch (const ERegistryException& error) {
        // The system's reason follows on a line of its own.
        EXPECT_STREQ(error.what(), "Failed to set data for 'DisplayName'\nAccess is denied.");
    }
    EXPECT_THROW(reg.WriteString("", "x"), ERegistryException);
}

TEST_F(TRegistryTest, WritingWithoutAnOpenKeyFails) {
    registry_.readOnly = true;
    TRegistry reg;
    reg.SetRootKey(RootKey::LocalMachine);
    EXPECT_FALSE(reg.OpenKey("\\Software\\Lingora", true));
    EXPECT_FALSE(reg.HasCurrentKey());
    try {
        reg.WriteString("", "Lingora.Wordlist");
        FAIL() << "no error";
    } catch (const ERegistryException& error) {
        // The reason is that of the failed opening.
        EXPECT_STREQ(error.what(),
                     "Failed to set data for ''\nThe system cannot find the file specified.");
    }
}

TEST_F(TRegistryTest, AFailedOpenKeepsTheKeyOpenBefore) {
    TRegistry reg;
    reg.SetRootKey(RootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKey("\\Software", true));
    EXPECT_FALSE(reg.OpenKey("\\Missing", false));
    EXPECT_TRUE(reg.HasCurrentKey());
    EXPECT_TRUE(reg.KeyExists("\\Software"));
    EXPECT_FALSE(reg.KeyExists("\\Missing"));
}

TEST_F(TRegistryTest, KeyInfoCountsSubkeysAndValues) {
    TRegistry reg;
    reg.SetRootKey(RootKey::ClassesRoot);
    ASSERT_TRUE(reg.OpenKey("\\Lingora.Wordlist\\Shell\\Open", true));
    reg.WriteString("", "x");
    ASSERT_TRUE(reg.OpenKey("\\Lingora.Wordlist\\Shell", true));
    TRegKeyInfo info;
    ASSERT_TRUE(reg.GetKeyInfo(info));
    EXPECT_EQ(info.NumSubKeys, 1u);
    EXPECT_EQ(info.NumValues, 0u);
}

TEST_F(TRegistryTest, AValueOfAnotherTypeIsNotReadAsText) {
    TRegistry reg;
    reg.SetRootKey(RootKey::CurrentUser);
    ASSERT_TRUE(reg.OpenKey("\\Software", true));
    registry_.keys["HKEY_CURRENT_USER\\Software"]["Count"] = RegValue{win::REG_DWORD, "\1\0\0\0"};
    EXPECT_THROW(reg.ReadString("Count"), ERegistryException);
}

}  // namespace
