#include "platform/TRegistry.h"

#include "platform/DiagnosticLog.h"
#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/SystemMessages.h"
#include "platform/WinTypes.h"

namespace {
const char* RootName(RootKey root) {
    switch (root) {
        case RootKey::LocalMachine:
            return "HKEY_LOCAL_MACHINE";
        case RootKey::ClassesRoot:
            return "HKEY_CLASSES_ROOT";
        case RootKey::CurrentUser:
            break;
    }
    return "HKEY_CURRENT_USER";
}
}  // namespace

TRegistry::TRegistry() = default;

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(RootKey root) {
    CloseKey();
    root_ = root;
}

std::string TRegistry::Resolve(const std::string& key) const {
    std::string path;
    if (!key.empty() && key.front() == '\\') {
        path = key.substr(1);
    } else if (current_ != 0 && !currentPath_.empty()) {
        path = key.empty() ? currentPath_ : currentPath_ + "\\" + key;
    } else {
        path = key;
    }
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
    const std::string path = Resolve(key);
    IRegistry::Key opened = 0;
    openError_ = Registry().OpenKey(root_, path, canCreate, opened);
    if (openError_ != win::ERROR_SUCCESS) return false;
    CloseKey();
    current_ = opened;
    currentPath_ = path;
    return true;
}

bool TRegistry::KeyExists(const std::string& key) {
    IRegistry::Key probe = 0;
    if (Registry().OpenKey(root_, Resolve(key), false, probe) != win::ERROR_SUCCESS) return false;
    Registry().CloseKey(probe);
    return true;
}

void TRegistry::CloseKey() {
    if (current_ != 0) Registry().CloseKey(current_);
    current_ = 0;
    currentPath_.clear();
}

bool TRegistry::ValueExists(const std::string& name) {
    RegValue value;
    return current_ != 0 && Registry().QueryValue(current_, name, value) == win::ERROR_SUCCESS;
}

std::string TRegistry::ReadString(const std::string& name) {
    RegValue value;
    if (current_ == 0 || Registry().QueryValue(current_, name, value) != win::ERROR_SUCCESS)
        return "";
    if (value.type != win::REG_SZ && value.type != win::REG_EXPAND_SZ)
        throw ERegistryException(Format("Invalid data type for '%s'", {name}));
    // The stored text ends at its first zero byte.
    return value.data.substr(0, value.data.find('\0'));
}

void TRegistry::WriteString(const std::string& name, const std::string& text) {
    RegValue value{win::REG_SZ, text + '\0'};
    const std::uint32_t result = current_ != 0     ? Registry().SetValue(current_, name, value)
                                 : openError_ != 0 ? openError_
                                                   : win::ERROR_INVALID_HANDLE;
    if (result == win::ERROR_SUCCESS)
        diag::Note("registry value written: ", RootName(root_), "\\", currentPath_, " \"", name,
                   "\" = \"", text, "\"");
    if (result != win::ERROR_SUCCESS) {
        diag::SystemError("cannot write the registry value \"" + name + "\" of " + currentPath_,
                          result);
        // The reason on a line of its own, as a full disk must be named.
        throw ERegistryException(Format("Failed to set data for '%s'", {name}) + "\n" +
                                 SysErrorMessage(result));
    }
}

bool TRegistry::DeleteValue(const std::string& name) {
    const bool deleted =
        current_ != 0 && Registry().DeleteValue(current_, name) == win::ERROR_SUCCESS;
    if (deleted)
        diag::Note("registry value deleted: ", RootName(root_), "\\", currentPath_, " \"", name,
                   "\"");
    return deleted;
}

bool TRegistry::DeleteKey(const std::string& key) {
    const bool deleted = Registry().DeleteKey(root_, Resolve(key)) == win::ERROR_SUCCESS;
    if (deleted) diag::Note("registry key deleted: ", RootName(root_), "\\", Resolve(key));
    return deleted;
}

bool TRegistry::GetKeyInfo(TRegKeyInfo& info) {
    info = {};
    return current_ != 0 &&
           Registry().QueryInfoKey(current_, info.NumSubKeys, info.NumValues) == win::ERROR_SUCCESS;
}
