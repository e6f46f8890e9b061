#include "platform/host/registry/HostRegistry.h"

#include <cstring>
#include <fstream>
#include <map>
#include <optional>

#include "platform/CodePage.h"
#include "platform/WinTypes.h"
#include "platform/host/registry/RegistryFile.h"
#include "platform/host/registry/RegistryStorage.h"
#include "platform/host/registry/RegistryText.h"
#include "platform/host/registry/WineServer.h"

namespace {

constexpr int kMachine = 0;
constexpr int kUser = 1;

bool IsStringType(std::uint32_t type) {
    return type == win::REG_SZ || type == win::REG_EXPAND_SZ || type == win::REG_MULTI_SZ;
}

// Texts for the user are ANSI; host paths in them are UTF-8.
std::string ToAnsiText(const std::string& utf8) {
    if (auto ansi = Utf8ToAnsi(utf8)) return *ansi;
    std::string out;
    for (char c : utf8) out.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
    return out;
}

std::string Utf16ToAnsiLossy(const std::u16string& text) {
    if (auto ansi = Utf16ToAnsi(text)) return *ansi;
    std::string out;
    for (char16_t c : text) {
        auto one = Utf16ToAnsi(std::u16string(1, c));
        out += one && one->size() == 1 ? *one : std::string("?");
    }
    return out;
}

// The architecture named in the first lines of a file, without parsing it.
RegistryArch ArchInHeader(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    for (int i = 0; i < 8 && std::getline(in, line); ++i) {
        if (line == "#arch=win64") return RegistryArch::Win64;
        if (line == "#arch=win32") return RegistryArch::Win32;
        if (!line.empty() && line[0] == '[') break;
    }
    return RegistryArch::Unknown;
}

std::u16string Fold(std::u16string s) {
    FoldCaseInPlace(s);
    return s;
}

}  // namespace

struct HostRegistry::State {
    struct Hive {
        std::filesystem::path file;
        const char* relativeTo = "";
        std::optional<RegistryFile> data;
        RegistryFileStamp stamp;
        bool loaded = false;
        std::string error;  // why the file on disk cannot be used (UTF-8)
    };
    struct OpenKey {
        int hive = kMachine;
        std::u16string path;
    };

    std::filesystem::path prefix;
    Hive hives[2];
    std::map<Key, OpenKey> keys;
    Key nextKey = 1;
    std::string lastError;

    void Refresh(int index);
    RegistryArch PrefixArch();
    std::uint32_t Resolve(RootKey root, const std::string& path, int& hive, std::u16string& full);
    std::uint32_t Usable(int index);
    template <typename Change>
    std::uint32_t Write(int index, Change&& change);
    std::uint32_t Find(Key key, OpenKey*& entry);
    std::uint32_t Refused(const WineServerLock& lock);
    std::uint32_t CannotWrite(const Hive& hive, int error);
};

std::uint32_t HostRegistry::State::Refused(const WineServerLock& lock) {
    std::string holder;
    if (lock.Holder() > 0) holder = " (process " + std::to_string(lock.Holder()) + ")";
    lastError = ToAnsiText("The registry of the Wine prefix \"" + prefix.string() +
                           "\" cannot be changed while Wine is running on it" + holder +
                           ": close the programs that run in this Wine prefix and try again.");
    return win::ERROR_LOCK_VIOLATION;
}

std::uint32_t HostRegistry::State::CannotWrite(const Hive& hive, int error) {
    lastError = ToAnsiText("The registry file \"" + hive.file.string() +
                           "\" cannot be written: " + std::strerror(error) + ".");
    return RegistryErrorFromErrno(error);
}

void HostRegistry::State::Refresh(int index) {
    Hive& hive = hives[index];
    const RegistryFileStamp stamp = StampOf(hive.file);
    if (hive.loaded && stamp == hive.stamp) return;
    hive.loaded = true;
    hive.stamp = stamp;
    hive.data.reset();
    hive.error.clear();
    if (!stamp.exists) {
        // A missing file is an empty hive, of the architecture of the other one.
        const RegistryArch other = ArchInHeader(hives[1 - index].file);
        hive.data.emplace(RegistryFile::Empty(hive.relativeTo, other));
        return;
    }
    std::string content;
    if (const int error = ReadRegistryFile(hive.file, content)) {
        hive.error = "The registry file \"" + hive.file.string() +
                     "\" cannot be read: " + std::strerror(error) + ".";
        return;
    }
    try {
        hive.data.emplace(RegistryFile::Parse(std::move(content), hive.file.string()));
    } catch (const ERegistryFileError& e) {
        hive.error = e.Message();
        return;
    }
    if (index == kUser) {
        const RegistryArch machine = ArchInHeader(hives[kMachine].file);
        const RegistryArch user = hive.data->Arch();
        if (machine != RegistryArch::Unknown && user != RegistryArch::Unknown && machine != user) {
            hive.data.reset();
            hive.error = "The registry file \"" + hive.file.string() +
                         "\" cannot be used: its #arch differs from that of system.reg.";
        }
    }
}

RegistryArch HostRegistry::State::PrefixArch() {
    Refresh(kMachine);
    const Hive& machine = hives[kMachine];
    if (machine.data) return machine.data->Arch();
    return ArchInHeader(machine.file);
}

std::uint32_t HostRegistry::State::Resolve(RootKey root, const std::string& path, int& hive,
                                           std::u16string& full) {
    hive = root == RootKey::CurrentUser ? kUser : kMachine;
    const std::u16string relative = AnsiToUtf16(path);
    std::vector<std::u16string> parts;
    if (!relative.empty()) {
        std::size_t begin = 0;
        while (true) {
            const std::size_t cut = relative.find(u'\\', begin);
            const std::size_t stop = cut == std::u16string::npos ? relative.size() : cut;
            if (stop == begin) return win::ERROR_INVALID_PARAMETER;  // an empty name
            parts.push_back(relative.substr(begin, stop - begin));
            if (cut == std::u16string::npos) break;
            begin = cut + 1;
        }
    }
    if (root == RootKey::ClassesRoot) {
        parts.insert(parts.begin(), {u"Software", u"Classes"});
    } else if (root == RootKey::LocalMachine && parts.size() >= 2 &&
               Fold(parts[0]) == u"SOFTWARE" && Fold(parts[1]) != u"CLASSES" &&
               Fold(parts[1]) != u"WOW6432NODE" && PrefixArch() == RegistryArch::Win64) {
        // The view of a 32-bit program on a 64-bit prefix.
        parts.insert(parts.begin() + 1, u"Wow6432Node");
    }
    full.clear();
    for (const std::u16string& part : parts) {
        if (!full.empty()) full += u'\\';
        full += part;
    }
    return win::ERROR_SUCCESS;
}

std::uint32_t HostRegistry::State::Usable(int index) {
    Refresh(index);
    if (hives[index].data) return win::ERROR_SUCCESS;
    lastError = ToAnsiText(hives[index].error);
    return win::ERROR_BADKEY;
}

// Applies a change to a hive and replaces its file, holding the wineserver lock
// meanwhile. change(file) returns ERROR_SUCCESS when it changed something.
template <typename Change>
std::uint32_t HostRegistry::State::Write(int index, Change&& change) {
    WineServerLock lock(prefix);
    if (!lock.Acquired()) return Refused(lock);
    if (const std::uint32_t result = Usable(index)) return result;
    Hive& hive = hives[index];
    RemoveUnfinishedCopies(hive.file);
    const std::uint32_t result = change(*hive.data);
    if (result != win::ERROR_SUCCESS) return result;
    if (const int error = ReplaceRegistryFile(hive.file, hive.data->Serialize())) {
        // The file is as it was: forget the change and read it again next time.
        hive.loaded = false;
        hive.data.reset();
        return CannotWrite(hive, error);
    }
    hive.stamp = StampOf(hive.file);
    return win::ERROR_SUCCESS;
}

std::uint32_t HostRegistry::State::Find(Key key, OpenKey*& entry) {
    const auto it = keys.find(key);
    if (it == keys.end()) return win::ERROR_INVALID_HANDLE;
    entry = &it->second;
    if (const std::uint32_t result = Usable(entry->hive)) return result;
    if (!hives[entry->hive].data->KeyExists(entry->path)) return win::ERROR_KEY_DELETED;
    return win::ERROR_SUCCESS;
}

HostRegistry::HostRegistry(std::filesystem::path prefixFolder) : state_(std::make_unique<State>()) {
    state_->prefix = std::move(prefixFolder);
    state_->hives[kMachine].file = state_->prefix / "system.reg";
    state_->hives[kMachine].relativeTo = "REGISTRY\\\\Machine";
    state_->hives[kUser].file = state_->prefix / "user.reg";
    state_->hives[kUser].relativeTo = "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000";
}

HostRegistry::~HostRegistry() = default;

std::uint32_t HostRegistry::OpenKey(RootKey root, const std::string& path, bool create, Key& key) {
    State& s = *state_;
    key = 0;
    s.lastError.clear();
    int hive = kMachine;
    std::u16string full;
    if (const std::uint32_t result = s.Resolve(root, path, hive, full)) return result;
    if (const std::uint32_t result = s.Usable(hive)) return result;
    if (!s.hives[hive].data->KeyExists(full)) {
        if (!create) return win::ERROR_FILE_NOT_FOUND;
        const std::uint32_t result = s.Write(hive, [&](RegistryFile& file) {
            file.CreateKey(full, RegistryFile::Clock::now());
            return win::ERROR_SUCCESS;
        });
        if (result != win::ERROR_SUCCESS) return result;
    }
    key = s.nextKey++;
    s.keys[key] = State::OpenKey{hive, full};
    return win::ERROR_SUCCESS;
}

std::uint32_t HostRegistry::CloseKey(Key key) {
    state_->lastError.clear();
    return state_->keys.erase(key) == 1 ? win::ERROR_SUCCESS : win::ERROR_INVALID_HANDLE;
}

std::uint32_t HostRegistry::QueryValue(Key key, const std::string& name, RegValue& value) {
    State& s = *state_;
    s.lastError.clear();
    State::OpenKey* entry = nullptr;
    if (const std::uint32_t result = s.Find(key, entry)) return result;
    RegistryFile::Value stored;
    if (!s.hives[entry->hive].data->QueryValue(entry->path, AnsiToUtf16(name), stored)) {
        return win::ERROR_FILE_NOT_FOUND;
    }
    value.type = stored.type;
    if (IsStringType(stored.type) && stored.data.size() % 2 == 0) {
        // What RegQueryValueExA gives: the text in the ANSI code page.
        value.data = Utf16ToAnsiLossy(BytesToUtf16(stored.data));
    } else {
        value.data = std::move(stored.data);
    }
    return win::ERROR_SUCCESS;
}

std::uint32_t HostRegistry::SetValue(Key key, const std::string& name, const RegValue& value) {
    State& s = *state_;
    s.lastError.clear();
    const auto it = s.keys.find(key);
    if (it == s.keys.end()) return win::ERROR_INVALID_HANDLE;
    const State::OpenKey entry = it->second;
    RegistryFile::Value stored;
    stored.name = AnsiToUtf16(name);
    stored.type = value.type;
    // What RegSetValueExA stores: string data converted to UTF-16.
    stored.data = IsStringType(value.type) ? Utf16ToBytes(AnsiToUtf16(value.data)) : value.data;
    return s.Write(entry.hive, [&](RegistryFile& file) {
        return file.SetValue(entry.path, stored, RegistryFile::Clock::now())
                   ? win::ERROR_SUCCESS
                   : win::ERROR_KEY_DELETED;
    });
}

std::uint32_t HostRegistry::DeleteValue(Key key, const std::string& name) {
    State& s = *state_;
    s.lastError.clear();
    const auto it = s.keys.find(key);
    if (it == s.keys.end()) return win::ERROR_INVALID_HANDLE;
    const State::OpenKey entry = it->second;
    return s.Write(entry.hive, [&](RegistryFile& file) {
        if (!file.KeyExists(entry.path)) return win::ERROR_KEY_DELETED;
        return file.DeleteValue(entry.path, AnsiToUtf16(name), RegistryFile::Clock::now())
                   ? win::ERROR_SUCCESS
                   : win::ERROR_FILE_NOT_FOUND;
    });
}

std::uint32_t HostRegistry::QueryInfoKey(Key key, std::uint32_t& subKeys, std::uint32_t& values) {
    State& s = *state_;
    s.lastError.clear();
    State::OpenKey* entry = nullptr;
    if (const std::uint32_t result = s.Find(key, entry)) return result;
    s.hives[entry->hive].data->QueryInfo(entry->path, subKeys, values);
    return win::ERROR_SUCCESS;
}

std::uint32_t HostRegistry::DeleteKey(RootKey root, const std::string& path) {
    State& s = *state_;
    s.lastError.clear();
    int hive = kMachine;
    std::u16string full;
    if (const std::uint32_t result = s.Resolve(root, path, hive, full)) return result;
    if (path.empty()) return win::ERROR_ACCESS_DENIED;  // a root key stays
    return s.Write(hive, [&](RegistryFile& file) {
        switch (file.DeleteKey(full, RegistryFile::Clock::now())) {
            case RegistryFile::DeleteResult::Deleted:
                return win::ERROR_SUCCESS;
            case RegistryFile::DeleteResult::HasSubkeys:
                return win::ERROR_ACCESS_DENIED;
            case RegistryFile::DeleteResult::NotFound:
                break;
        }
        return win::ERROR_FILE_NOT_FOUND;
    });
}

std::uint32_t HostRegistry::CheckWritable() {
    State& s = *state_;
    s.lastError.clear();
    WineServerLock lock(s.prefix);
    if (!lock.Acquired()) return s.Refused(lock);
    for (int index : {kMachine, kUser}) {
        if (const std::uint32_t result = s.Usable(index)) return result;
        if (const int error = CheckReplaceable(s.hives[index].file)) {
            return s.CannotWrite(s.hives[index], error);
        }
    }
    return win::ERROR_SUCCESS;
}

std::string HostRegistry::LastErrorText() const { return state_->lastError; }

std::string HostRegistry::ChangesRefusedReason() {
    // Also a file that cannot be replaced: the installation's last step writes it.
    if (CheckWritable() != win::ERROR_SUCCESS) return LastErrorText();
    return {};
}
