#include "platform/host/machine/HostShellLink.h"

#include "platform/Platform.h"
#include "platform/host/machine/ShellLinkFile.h"

namespace {
constexpr std::size_t kMaxPath = 260;  // MAX_PATH: the longest path a link may hold
}

win::HRESULT HostShellLink::SetPath(const std::string& path) {
    if (path.size() >= kMaxPath) return win::HResultFromWin32(win::ERROR_FILENAME_EXCED_RANGE);
    path_ = path;
    return win::S_OK;
}

win::HRESULT HostShellLink::SetWorkingDirectory(const std::string& folder) {
    if (folder.size() >= kMaxPath) return win::HResultFromWin32(win::ERROR_FILENAME_EXCED_RANGE);
    workingFolder_ = folder;
    return win::S_OK;
}

win::HRESULT HostShellLink::Save(const std::string& fileName) {
    const std::string content = BuildShellLinkFile(path_, workingFolder_);
    // Only a file that this save created is removed after a failed write; an
    // existing file of that name (or a device) is never deleted.
    const bool existed = Files().GetFileAttributes(fileName) != win::INVALID_FILE_ATTRIBUTES;
    std::uint32_t error = 0;
    auto file = Files().CreateAlways(fileName, error);
    if (!file) return win::HResultFromWin32(error != 0 ? error : win::ERROR_ACCESS_DENIED);
    const std::size_t written = file->Write(content.data(), content.size());
    std::uint32_t failure = 0;
    if (written != content.size())
        failure = file->LastError() != 0 ? file->LastError() : win::ERROR_WRITE_FAULT;
    if (!file->Close() && failure == 0)
        failure = file->LastError() != 0 ? file->LastError() : win::ERROR_WRITE_FAULT;
    if (failure != 0) {
        file.reset();
        if (!existed) Files().DeleteFile(fileName);
        return win::HResultFromWin32(failure);
    }
    return win::S_OK;
}
