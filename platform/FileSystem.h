// Files and folders of the machine, addressed by Windows paths in the ANSI code
// page ("C:\Program Files\Lingora\Install.log"). A relative path is taken from
// the current directory. Names compare case-insensitively, as on Windows; a
// created file keeps the case it was given.
//
// Failures are reported, never thrown. Opening and creating a file return null
// and hand back a Windows system error code (win::ERROR_*); a stream keeps the
// code of its last failed call; the calls that answer with a bool say only
// whether they succeeded. The callers decide which error class a failure becomes.
//
// Thread use: every call may be made from any thread, but the system makes them
// on the user-interface thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

enum class SeekOrigin { Begin, Current, End };

// An open file: read (no sharing) or created-always for writing.
class IFileStream {
  public:
    virtual ~IFileStream() = default;
    // Reads up to count bytes; fewer at the end of the file or on failure.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    // Writes up to count bytes; fewer on failure (disk full, write error).
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    // Moves the position; returns the new position, or -1 on failure.
    virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
    virtual std::int64_t Size() = 0;
    virtual std::int64_t Position() = 0;
    // Makes what was written durable (flush to the disk). False on failure.
    virtual bool Flush() = 0;
    // Closes the file; false when the close reports a failure. Destruction closes too.
    virtual bool Close() = 0;
    // The Windows system error code of the last call that failed (0 when none did).
    virtual std::uint32_t LastError() const = 0;
};

// One entry of a folder enumeration.
struct FindData {
    std::string name;  // as stored on the machine
    std::uint32_t attributes = 0;
    bool IsDirectory() const;
};

// One entry of the host's mount table: where a file system is mounted, and its
// kind as the kernel names it ("ext4", "iso9660", "fuse.sshfs", "autofs" ...).
struct MountPoint {
    MountPoint() = default;
    MountPoint(std::string folder_, std::string type_ = {})
        : folder(std::move(folder_)), type(std::move(type_)) {}
    MountPoint(const char* folder_) : folder(folder_) {}
    std::string folder;  // host path, absolute
    std::string type;
    bool operator==(const MountPoint& other) const {
        return folder == other.folder && type == other.type;
    }
};

// What a bulk copy between two streams achieved.
struct CopyOutcome {
    enum class Fault { None, ShortRead, ShortWrite };
    std::uint64_t copied = 0;
    Fault fault = Fault::None;
};

// What RemoveBelow did with one path.
enum class RemoveOutcome {
    Removed,   // it was there and is gone
    Missing,   // nothing of that name was there
    NotEmpty,  // a folder that still holds something
    NotOurs,   // a name on the way is a link, or the path leaves the folder
    Failed,    // it is there and could not be removed
};

class IFileSystem {
  public:
    virtual ~IFileSystem() = default;

    // Opens an existing file for reading, shared with nobody. Null on failure.
    virtual std::unique_ptr<IFileStream> OpenRead(const std::string& path,
                                                  std::uint32_t& error) = 0;
    // Creates a file for reading and writing; an existing one is emptied. Null on failure.
    // Creating a file or a folder keeps to Windows' rules for names: a path longer
    // than Windows takes gives ERROR_FILENAME_EXCED_RANGE, a name ending in a dot
    // or a space or naming a device (CON, NUL, COM1, LPT1.txt ...) ERROR_INVALID_NAME.
    virtual std::unique_ptr<IFileStream> CreateAlways(const std::string& path,
                                                      std::uint32_t& error) = 0;
    // Copies count bytes from the current position of one stream to the other, with
    // the fastest path the machine offers. Stops at the first short read or write.
    virtual CopyOutcome Copy(IFileStream& from, IFileStream& to, std::uint64_t count) = 0;

    // GetFileAttributesA: win::INVALID_FILE_ATTRIBUTES when the path cannot be queried.
    virtual std::uint32_t GetFileAttributes(const std::string& path) = 0;
    // True when a file (not a folder) of that name exists.
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool DeleteFile(const std::string& path) = 0;
    // Removes the file (folder false) or the empty folder (folder true) at relative,
    // a relative path below the existing folder base, without following a link
    // at or below base: each name of relative is looked up in the folder reached
    // before it, and a name on the way that is a link gives NotOurs. A last name
    // that is a link is removed as the link when a file is asked for. Links in
    // base itself are followed. A relative path with a ".." name, a drive, a
    // leading backslash or a name Windows cannot hold (a control character such
    // as NUL, or one of <>"|?*) gives NotOurs.
    virtual RemoveOutcome RemoveBelow(const std::string& base, const std::string& relative,
                                      bool folder) = 0;
    // Creates one folder whose parent exists.
    virtual bool CreateDirectory(const std::string& path) = 0;
    // Removes an empty folder.
    virtual bool RemoveDirectory(const std::string& path) = 0;
    // Creates every missing folder up to the path's last backslash (the last
    // component itself is not created). True when they all exist afterwards.
    virtual bool MakeSureDirectoryPathExists(const std::string& path) = 0;
    // FindFirstFileA/FindNextFileA: a pattern whose last component is "*" or "*.*"
    // lists a folder ("." and ".." included, except at a drive root); any other last
    // component finds that one entry. Empty when nothing matches.
    virtual std::vector<FindData> FindFiles(const std::string& pattern) = 0;
    // The current directory as a Windows path without trailing backslash
    // (drive roots keep theirs).
    virtual std::string GetCurrentDirectory() = 0;
    // GetFullPathNameA: the absolute form of a path, "." and ".." resolved,
    // relative paths taken from the current directory. The path need not exist.
    virtual std::string GetFullPathName(const std::string& path) = 0;
    // The path by which this file system names a host path (absolute, UTF-8), or
    // nothing when it cannot name it.
    virtual std::optional<std::string> FromHostPath(const std::string& hostPath) = 0;

    // The host's own folders, outside the prefix's drives: the disks that the
    // volumes are read from. They are named by host paths (absolute, '/', any
    // bytes but NUL, whatever Windows could name), never through the Windows
    // names above. These calls keep no state of the file system object, so a
    // call that a hung mount holds in the kernel may return after the object
    // has gone.
    //
    // Opens a host file for reading, shared with nobody. Null on failure.
    virtual std::unique_ptr<IFileStream> OpenHostRead(const std::string& hostPath,
                                                      std::uint32_t& error) = 0;
    // The names of the regular files (or links to them) in a host folder, in no
    // order; nothing when the folder cannot be read.
    virtual std::optional<std::vector<std::string>> HostFolderFiles(
        const std::string& hostFolder) = 0;
    // This process's mount table, in its order; empty when it cannot be read.
    virtual std::vector<MountPoint> MountTable() = 0;
};

// Forwards every call to another file system; doubles override what they change.
class ForwardingFileSystem : public IFileSystem {
  public:
    explicit ForwardingFileSystem(IFileSystem& inner) : inner_(inner) {}
    std::unique_ptr<IFileStream> OpenRead(const std::string& path, std::uint32_t& error) override {
        return inner_.OpenRead(path, error);
    }
    std::unique_ptr<IFileStream> CreateAlways(const std::string& path,
                                              std::uint32_t& error) override {
        return inner_.CreateAlways(path, error);
    }
    CopyOutcome Copy(IFileStream& from, IFileStream& to, std::uint64_t count) override {
        return inner_.Copy(from, to, count);
    }
    std::uint32_t GetFileAttributes(const std::string& path) override {
        return inner_.GetFileAttributes(path);
    }
    bool FileExists(const std::string& path) override { return inner_.FileExists(path); }
    bool DeleteFile(const std::string& path) override { return inner_.DeleteFile(path); }
    RemoveOutcome RemoveBelow(const std::string& base, const std::string& relative,
                              bool folder) override {
        return inner_.RemoveBelow(base, relative, folder);
    }
    bool CreateDirectory(const std::string& path) override { return inner_.CreateDirectory(path); }
    bool RemoveDirectory(const std::string& path) override { return inner_.RemoveDirectory(path); }
    bool MakeSureDirectoryPathExists(const std::string& path) override {
        return inner_.MakeSureDirectoryPathExists(path);
    }
    std::vector<FindData> FindFiles(const std::string& pattern) override {
        return inner_.FindFiles(pattern);
    }
    std::string GetCurrentDirectory() override { return inner_.GetCurrentDirectory(); }
    std::string GetFullPathName(const std::string& path) override {
        return inner_.GetFullPathName(path);
    }
    std::optional<std::string> FromHostPath(const std::string& hostPath) override {
        return inner_.FromHostPath(hostPath);
    }
    std::unique_ptr<IFileStream> OpenHostRead(const std::string& hostPath,
                                              std::uint32_t& error) override {
        return inner_.OpenHostRead(hostPath, error);
    }
    std::optional<std::vector<std::string>> HostFolderFiles(
        const std::string& hostFolder) override {
        return inner_.HostFolderFiles(hostFolder);
    }
    std::vector<MountPoint> MountTable() override { return inner_.MountTable(); }

  protected:
    IFileSystem& Inner() { return inner_; }

  private:
    IFileSystem& inner_;
};

// Forwards every call to another stream; stream doubles override what they change.
class ForwardingFileStream : public IFileStream {
  public:
    explicit ForwardingFileStream(std::unique_ptr<IFileStream> inner) : inner_(std::move(inner)) {}
    std::size_t Read(void* buffer, std::size_t count) override {
        return inner_->Read(buffer, count);
    }
    std::size_t Write(const void* buffer, std::size_t count) override {
        return inner_->Write(buffer, count);
    }
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
        return inner_->Seek(offset, origin);
    }
    std::int64_t Size() override { return inner_->Size(); }
    std::int64_t Position() override { return inner_->Position(); }
    bool Flush() override { return inner_->Flush(); }
    bool Close() override { return inner_->Close(); }
    std::uint32_t LastError() const override { return inner_->LastError(); }

  protected:
    IFileStream& Inner() { return *inner_; }

  private:
    std::unique_ptr<IFileStream> inner_;
};

// True for "..", and for what Windows reads as ".." once it drops trailing dots
// and blanks ("...", ".. "): a name that climbs out of its folder.
bool IsParentName(const std::string& name);

// The portable copy: through a buffer of at most 61,440 bytes, via Read and Write.
CopyOutcome CopyThroughBuffer(IFileStream& from, IFileStream& to, std::uint64_t count);
