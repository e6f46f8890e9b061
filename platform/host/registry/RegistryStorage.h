// The registry files on the host's disk: reading them, noticing that another
// program changed them, and replacing them so that a crash or a kill at any
// moment leaves either the old or the new file, never a mix.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// What identifies one version of a file: a rename over it changes the inode,
// a write in place the size or the modification time.
struct RegistryFileStamp {
    bool exists = false;
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const RegistryFileStamp&) const = default;
};

RegistryFileStamp StampOf(const std::filesystem::path& file);

// The whole file; returns 0 or the errno of the failure.
int ReadRegistryFile(const std::filesystem::path& file, std::string& content);

// The file that a write of `file` replaces: the target of a symlink (of a
// chain of them), as Wine writes through a linked registry file and keeps the
// link; `file` itself otherwise.
std::filesystem::path WrittenFile(std::filesystem::path file);

// Writes content to a new file beside `file` (beside its target when it is a
// symlink: the link stays), flushes it to the disk and renames it over that
// (keeping its permissions and owner). A file without any write
// permission is refused (EACCES) rather than replaced. Returns 0 or the errno;
// on failure `file` is as it was.
int ReplaceRegistryFile(const std::filesystem::path& file, const std::string& content);

// Removes what a writer killed midway left beside `file` (its new, unfinished
// copies). Only to be called while holding the lock against other writers.
void RemoveUnfinishedCopies(const std::filesystem::path& file);

// Whether ReplaceRegistryFile would be allowed to replace `file` (0 or EACCES);
// a missing file may be created when its folder exists (else ENOENT). A new
// copy is made and removed again beside it, so that a read-only mount (EROFS)
// and other refusals that permissions do not show are found too.
int CheckReplaceable(const std::filesystem::path& file);

// The Windows error code for an errno of the functions above.
std::uint32_t RegistryErrorFromErrno(int error);
