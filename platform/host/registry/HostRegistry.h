// The registry of a Wine prefix: HKEY_LOCAL_MACHINE is system.reg, HKEY_CURRENT_USER
// is user.reg, HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\Software\Classes. Every
// change is written to the file (atomically: a new file renamed over the old one)
// before the call returns; nothing is written while a wineserver runs on the
// prefix, since it would overwrite the files from memory when it exits.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/Registry.h"

class HostRegistry : public IRegistry {
  public:
    // prefixFolder: the folder holding system.reg and user.reg (they need not exist).
    explicit HostRegistry(std::filesystem::path prefixFolder);
    ~HostRegistry() override;
    HostRegistry(const HostRegistry&) = delete;
    HostRegistry& operator=(const HostRegistry&) = delete;

    std::uint32_t OpenKey(RootKey root, const std::string& path, bool create, Key& key) override;
    std::uint32_t CloseKey(Key key) override;
    std::uint32_t QueryValue(Key key, const std::string& name, RegValue& value) override;
    std::uint32_t SetValue(Key key, const std::string& name, const RegValue& value) override;
    std::uint32_t DeleteValue(Key key, const std::string& name) override;
    std::uint32_t QueryInfoKey(Key key, std::uint32_t& subKeys, std::uint32_t& values) override;
    std::uint32_t DeleteKey(RootKey root, const std::string& path) override;
    // Wine running on the prefix, or a registry file that cannot be read or replaced.
    std::string ChangesRefusedReason() override;

    // Whether changes could be written now, without writing anything: no
    // wineserver runs on the prefix and both files can be read and replaced.
    // Gives the code that a change would fail with, and sets LastErrorText.
    std::uint32_t CheckWritable();

    // The full sentence that explains the last failed call (empty after a success),
    // for example that the programs running in the Wine prefix must be closed.
    std::string LastErrorText() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};
