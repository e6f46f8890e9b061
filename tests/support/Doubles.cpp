#include "tests/support/Doubles.h"

#include <algorithm>

#include "platform/Exceptions.h"
#include "platform/WindowsNames.h"

// ---- the Nth write fails ----

struct FailingWriteFileSystem::State {
    int failingWrite;
    std::uint32_t error;
    int writes = 0;
};

namespace {

class FailingWriteStream : public ForwardingFileStream {
  public:
    FailingWriteStream(std::unique_ptr<IFileStream> inner,
                       std::shared_ptr<FailingWriteFileSystem::State> state)
        : ForwardingFileStream(std::move(inner)), state_(std::move(state)) {}
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::uint32_t LastError() const override {
        return error_ != 0 ? error_ : ForwardingFileStream::LastError();
    }

  private:
    std::shared_ptr<FailingWriteFileSystem::State> state_;
    std::uint32_t error_ = 0;
};

}  // namespace

std::size_t FailingWriteStream::Write(const void* buffer, std::size_t count) {
    if (++state_->writes == state_->failingWrite) {
        error_ = state_->error;
        return 0;
    }
    return Inner().Write(buffer, count);
}

FailingWriteFileSystem::FailingWriteFileSystem(IFileSystem& inner, int failingWrite,
                                               std::uint32_t error)
    : ForwardingFileSystem(inner), state_(std::make_shared<State>(State{failingWrite, error})) {}

std::unique_ptr<IFileStream> FailingWriteFileSystem::CreateAlways(const std::string& path,
                                                                  std::uint32_t& error) {
    auto stream = Inner().CreateAlways(path, error);
    if (!stream) return nullptr;
    return std::make_unique<FailingWriteStream>(std::move(stream), state_);
}

CopyOutcome FailingWriteFileSystem::Copy(IFileStream& from, IFileStream& to, std::uint64_t count) {
    return CopyThroughBuffer(from, to, count);
}

int FailingWriteFileSystem::Writes() const { return state_->writes; }

// ---- the disk fills up ----

struct DiskFullFileSystem::State {
    std::uint64_t capacity;
    std::uint64_t written = 0;
};

namespace {

class DiskFullStream : public ForwardingFileStream {
  public:
    DiskFullStream(std::unique_ptr<IFileStream> inner,
                   std::shared_ptr<DiskFullFileSystem::State> state)
        : ForwardingFileStream(std::move(inner)), state_(std::move(state)) {}
    std::size_t Write(const void* buffer, std::size_t count) override {
        const std::uint64_t room = state_->capacity - state_->written;
        const auto allowed = static_cast<std::size_t>(std::min<std::uint64_t>(count, room));
        const std::size_t put = allowed > 0 ? Inner().Write(buffer, allowed) : 0;
        state_->written += put;
        if (put < count && put == allowed) full_ = true;
        return put;
    }
    std::uint32_t LastError() const override {
        return full_ ? win::ERROR_DISK_FULL : ForwardingFileStream::LastError();
    }

  private:
    std::shared_ptr<DiskFullFileSystem::State> state_;
    bool full_ = false;
};

}  // namespace

DiskFullFileSystem::DiskFullFileSystem(IFileSystem& inner, std::uint64_t capacity)
    : ForwardingFileSystem(inner), state_(std::make_shared<State>(State{capacity})) {}

std::unique_ptr<IFileStream> DiskFullFileSystem::CreateAlways(const std::string& path,
                                                              std::uint32_t& error) {
    auto stream = Inner().CreateAlways(path, error);
    if (!stream) return nullptr;
    return std::make_unique<DiskFullStream>(std::move(stream), state_);
}

CopyOutcome DiskFullFileSystem::Copy(IFileStream& from, IFileStream& to, std::uint64_t count) {
    return CopyThroughBuffer(from, to, count);
}

std::uint64_t DiskFullFileSystem::Written() const { return state_->written; }

// ---- access denied below a folder ----

DenyingFileSystem::DenyingFileSystem(IFileSystem& inner, std::string deniedFolder)
    : ForwardingFileSystem(inner), deniedFolder_(std::move(deniedFolder)) {}

bool DenyingFileSystem::IsDenied(const std::string& path) {
    std::string folder = Inner().GetFullPathName(deniedFolder_);
    const std::string full = Inner().GetFullPathName(path);
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    if (full.size() < folder.size()) return false;
    for (std::size_t i = 0; i < folder.size(); ++i)
        if (FoldCase(folder[i]) != FoldCase(full[i])) return false;
    return full.size() == folder.size() || folder.back() == '\\' || full[folder.size()] == '\\';
}

std::unique_ptr<IFileStream> DenyingFileSystem::OpenRead(const std::string& path,
                                                         std::uint32_t& error) {
    if (IsDenied(path)) {
        error = win::ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return Inner().OpenRead(path, error);
}

std::unique_ptr<IFileStream> DenyingFileSystem::CreateAlways(const std::string& path,
                                                             std::uint32_t& error) {
    if (IsDenied(path)) {
        error = win::ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return Inner().CreateAlways(path, error);
}

bool DenyingFileSystem::DeleteFile(const std::string& path) {
    return !IsDenied(path) && Inner().DeleteFile(path);
}

RemoveOutcome DenyingFileSystem::RemoveBelow(const std::string& base, const std::string& relative,
                                             bool folder) {
    // What the walk would reach below a denied folder stays: as a failure, or
    // as the folder that still holds something.
    const std::string path = base + "\\" + relative;
    if (!IsDenied(path) || Inner().GetFileAttributes(path) == win::INVALID_FILE_ATTRIBUTES)
        return Inner().RemoveBelow(base, relative, folder);
    if (folder)
        for (const FindData& entry : Inner().FindFiles(path + "\\*.*"))
            if (entry.name != "." && entry.name != "..") return RemoveOutcome::NotEmpty;
    return RemoveOutcome::Failed;
}

bool DenyingFileSystem::CreateDirectory(const std::string& path) {
    return !IsDenied(path) && Inner().CreateDirectory(path);
}

bool DenyingFileSystem::RemoveDirectory(const std::string& path) {
    return !IsDenied(path) && Inner().RemoveDirectory(path);
}

bool DenyingFileSystem::MakeSureDirectoryPathExists(const std::string& path) {
    // Refused when a folder that is still missing would have to be made in the
    // denied part (the deepest folder exists exactly when the whole chain does).
    const std::string full = Inner().GetFullPathName(path);
    const std::size_t slash = full.rfind('\\');
    const std::string folders = slash == std::string::npos ? full : full.substr(0, slash);
    if (IsDenied(folders) && Inner().GetFileAttributes(folders) == win::INVALID_FILE_ATTRIBUTES)
        return false;
    return Inner().MakeSureDirectoryPathExists(path);
}

// ---- a registry that refuses every change ----

std::uint32_t ReadOnlyRegistry::OpenKey(RootKey root, const std::string& path, bool create,
                                        Key& key) {
    const std::uint32_t result = Inner().OpenKey(root, path, false, key);
    if (result == win::ERROR_FILE_NOT_FOUND && create) return error_;
    return result;
}

std::uint32_t ReadOnlyRegistry::SetValue(Key, const std::string&, const RegValue&) {
    return error_;
}

std::uint32_t ReadOnlyRegistry::DeleteValue(Key, const std::string&) { return error_; }

std::uint32_t ReadOnlyRegistry::DeleteKey(RootKey, const std::string&) { return error_; }

// ---- COM ----

FailingComShell::FailingComShell(IShell& inner, win::HRESULT code)
    : ForwardingShell(inner), code_(code) {}

std::unique_ptr<IShellLinkObject> FailingComShell::CreateShellLink() { throw EOleSysError(code_); }

namespace {

class LackingObject : public IShellLinkObject {
  public:
    LackingObject(std::unique_ptr<IShellLinkObject> inner, LackingInterfaceShell::Missing missing)
        : inner_(std::move(inner)), missing_(missing) {}
    IShellLink* QueryShellLink() override {
        return missing_ == LackingInterfaceShell::Missing::ShellLink ? nullptr
                                                                     : inner_->QueryShellLink();
    }
    IPersistFile* QueryPersistFile() override {
        return missing_ == LackingInterfaceShell::Missing::PersistFile ? nullptr
                                                                       : inner_->QueryPersistFile();
    }

  private:
    std::unique_ptr<IShellLinkObject> inner_;
    LackingInterfaceShell::Missing missing_;
};

}  // namespace

LackingInterfaceShell::LackingInterfaceShell(IShell& inner, Missing missing)
    : ForwardingShell(inner), missing_(missing) {}

std::unique_ptr<IShellLinkObject> LackingInterfaceShell::CreateShellLink() {
    return std::make_unique<LackingObject>(Inner().CreateShellLink(), missing_);
}

// ---- recording shell and window services ----

RecordingShell::RecordingShell(IShell& inner, bool result)
    : ForwardingShell(inner), result_(result) {}

namespace {
NullShell& NothingKnown() {
    static NullShell shell;  // keeps no state
    return shell;
}
}  // namespace

RecordingShell::RecordingShell() : RecordingShell(NothingKnown()) {}

bool RecordingShell::ShellExecute(const std::string& program, const std::string& parameters,
                                  const std::string& folder) {
    calls_.push_back(Call{program, parameters, folder});
    return result_;
}

RecordingWindowServices::RecordingWindowServices(IWindowServices& inner, bool acceptRestart)
    : ForwardingWindowServices(inner), acceptRestart_(acceptRestart) {}

void RecordingWindowServices::MessageBeep(std::uint32_t type) { beeps_.push_back(type); }

ScreenSize RecordingWindowServices::GetScreenSize() {
    if (screen_.width > 0 || screen_.height > 0) return screen_;
    return Inner().GetScreenSize();
}

bool RecordingWindowServices::ExitWindowsEx(std::uint32_t flags) {
    restarts_.push_back(flags);
    return acceptRestart_;
}
