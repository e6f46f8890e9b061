// The registry object of the window framework: a root key, at most one open
// key, and string values. Key paths that begin with a backslash are taken from
// the root; others from the key open now (or the root when none is open).
// Destruction closes the open key.
#pragma once

#include <string>

#include "platform/Registry.h"

struct TRegKeyInfo {
    std::uint32_t NumSubKeys = 0;
    std::uint32_t NumValues = 0;
};

class TRegistry {
  public:
    TRegistry();  // root HKEY_CURRENT_USER, as the framework's object starts
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    void SetRootKey(RootKey root);  // closes the open key

    // Opens (or with canCreate creates) a key and makes it the open one.
    bool OpenKey(const std::string& key, bool canCreate);
    bool KeyExists(const std::string& key);
    void CloseKey();
    bool HasCurrentKey() const { return current_ != 0; }

    bool ValueExists(const std::string& name);
    // The text of a REG_SZ or REG_EXPAND_SZ value; "" when absent.
    // ERegistryException "Invalid data type for '%s'" for another type.
    std::string ReadString(const std::string& name);
    // ERegistryException "Failed to set data for '%s'" when the write fails.
    void WriteString(const std::string& name, const std::string& text);
    bool DeleteValue(const std::string& name);
    bool DeleteKey(const std::string& key);
    bool GetKeyInfo(TRegKeyInfo& info);

  private:
    std::string Resolve(const std::string& key) const;

    RootKey root_ = RootKey::CurrentUser;
    IRegistry::Key current_ = 0;
    std::string currentPath_;
    // Why the last OpenKey failed: the reason a write without a key then gives.
    std::uint32_t openError_ = 0;
};
