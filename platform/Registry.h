// The registry of the machine, in the terms of advapi32: keys opened from one of
// three root keys by a path of names separated by backslashes (no leading one),
// values read and written as typed data. Key and value names compare
// case-insensitively; the empty value name is the key's default value.
//
// Every call returns a Windows system error code: win::ERROR_SUCCESS, or for
// example win::ERROR_FILE_NOT_FOUND (no such key or value) or
// win::ERROR_ACCESS_DENIED (the machine refuses the change). Changes are on the
// machine when the call returns.
//
// The view is that of a 32-bit program (Setup is one): on a 64-bit machine
// HKEY_LOCAL_MACHINE\Software\X is HKEY_LOCAL_MACHINE\Software\Wow6432Node\X,
// except Software\Classes and everything below it.
//
// Thread use: the user-interface thread only.
#pragma once

#include <cstdint>
#include <string>

enum class RootKey { LocalMachine, ClassesRoot, CurrentUser };

// A registry value: its type (win::REG_*) and its data as stored. A REG_SZ's
// data is its text followed by one zero byte.
struct RegValue {
    std::uint32_t type = 0;
    std::string data;
};

class IRegistry {
  public:
    using Key = std::uint32_t;  // an open key; 0 is none
    virtual ~IRegistry() = default;

    // RegOpenKeyExA (create false) or RegCreateKeyExA (create true: missing keys
    // on the path are created). The empty path opens the root key itself.
    virtual std::uint32_t OpenKey(RootKey root, const std::string& path, bool create, Key& key) = 0;
    virtual std::uint32_t CloseKey(Key key) = 0;
    virtual std::uint32_t QueryValue(Key key, const std::string& name, RegValue& value) = 0;
    virtual std::uint32_t SetValue(Key key, const std::string& name, const RegValue& value) = 0;
    virtual std::uint32_t DeleteValue(Key key, const std::string& name) = 0;
    // RegQueryInfoKeyA: the numbers of direct subkeys and of values.
    virtual std::uint32_t QueryInfoKey(Key key, std::uint32_t& subKeys, std::uint32_t& values) = 0;
    // RegDeleteKeyA: deletes a key that has no subkeys.
    virtual std::uint32_t DeleteKey(RootKey root, const std::string& path) = 0;

    // Why no change can be made to the registry at all just now (another program
    // owns it, or a hive cannot be read), as a sentence for the user; empty when
    // changes can be made. Asked before work that ends in registry changes.
    virtual std::string ChangesRefusedReason() = 0;
};

class ForwardingRegistry : public IRegistry {
  public:
    explicit ForwardingRegistry(IRegistry& inner) : inner_(inner) {}
    std::uint32_t OpenKey(RootKey root, const std::string& path, bool create, Key& key) override {
        return inner_.OpenKey(root, path, create, key);
    }
    std::uint32_t CloseKey(Key key) override { return inner_.CloseKey(key); }
    std::uint32_t QueryValue(Key key, const std::string& name, RegValue& value) override {
        return inner_.QueryValue(key, name, value);
    }
    std::uint32_t SetValue(Key key, const std::string& name, const RegValue& value) override {
        return inner_.SetValue(key, name, value);
    }
    std::uint32_t DeleteValue(Key key, const std::string& name) override {
        return inner_.DeleteValue(key, name);
    }
    std::uint32_t QueryInfoKey(Key key, std::uint32_t& subKeys, std::uint32_t& values) override {
        return inner_.QueryInfoKey(key, subKeys, values);
    }
    std::uint32_t DeleteKey(RootKey root, const std::string& path) override {
        return inner_.DeleteKey(root, path);
    }
    std::string ChangesRefusedReason() override { return inner_.ChangesRefusedReason(); }

  protected:
    IRegistry& Inner() { return inner_; }

  private:
    IRegistry& inner_;
};
