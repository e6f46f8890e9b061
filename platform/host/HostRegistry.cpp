#include "platform/host/HostRegistry.h"

#include "platform/WinTypes.h"

struct HostRegistry::State {
    std::filesystem::path prefix;
    std::string lastError;
};

HostRegistry::HostRegistry(std::filesystem::path prefixFolder) : state_(std::make_unique<State>()) {
    state_->prefix = std::move(prefixFolder);
}

HostRegistry::~HostRegistry() = default;

std::uint32_t HostRegistry::OpenKey(RootKey, const std::string&, bool, Key& key) {
    key = 0;
    return win::ERROR_NOT_SUPPORTED;
}
std::uint32_t HostRegistry::CloseKey(Key) { return win::ERROR_INVALID_HANDLE; }
std::uint32_t HostRegistry::QueryValue(Key, const std::string&, RegValue&) {
    return win::ERROR_INVALID_HANDLE;
}
std::uint32_t HostRegistry::SetValue(Key, const std::string&, const RegValue&) {
    return win::ERROR_INVALID_HANDLE;
}
std::uint32_t HostRegistry::DeleteValue(Key, const std::string&) {
    return win::ERROR_INVALID_HANDLE;
}
std::uint32_t HostRegistry::QueryInfoKey(Key, std::uint32_t&, std::uint32_t&) {
    return win::ERROR_INVALID_HANDLE;
}
std::uint32_t HostRegistry::DeleteKey(RootKey, const std::string&) {
    return win::ERROR_NOT_SUPPORTED;
}
std::string HostRegistry::LastErrorText() const { return state_->lastError; }
