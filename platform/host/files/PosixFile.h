// The host's file descriptors, as every host library uses them: an owner that
// closes on every path, a write that goes on until all is written, and the
// durable replacement of a whole file.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string_view>

namespace posix {

// Owns one descriptor (or none, -1) and closes it when it goes.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    // Closes the one held (its error unseen) and holds fd instead.
    void Reset(int fd = -1);
    // Gives the descriptor up to the caller.
    int Release();
    // Closes now: 0, or the errno of the close.
    int Close();

  private:
    int fd_;
};

// Writes all size bytes, going on after a partial write or a signal: 0, or the
// errno of the failure (EIO for a write that wrote nothing without an error).
int WriteAll(int fd, const void* data, std::size_t size);

// Flushes a folder's entries (a rename or a new name in it) to the disk: 0 or
// the errno.
int SyncFolder(const std::filesystem::path& folder);

// Replaces the whole file with content so that a crash or a kill at any moment
// leaves either the old or the new file: the content goes into a new file beside
// it ("<name>.new-XXXXXX"), is flushed to the disk, renamed over the file, and the
// folder is flushed too. An existing file keeps its permissions and, where the
// system allows it (root), its owner; a new one gets newFileMode. Returns 0 or
// the errno; on failure the file is as it was and the new one is gone.
int ReplaceFile(const std::filesystem::path& file, std::string_view content,
                mode_t newFileMode = 0644);
// The same, for content too large to hold: write puts it into the new file's
// descriptor and returns 0 or an errno (its failure leaves the file as it was).
int ReplaceFileWith(const std::filesystem::path& file, const std::function<int(int fd)>& write,
                    mode_t newFileMode = 0644);

}  // namespace posix
