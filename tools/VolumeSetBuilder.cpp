#include "tools/VolumeSetBuilder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/CodePage.h"
#include "platform/host/files/PosixFile.h"
#include "volumes/VolumeDigest.h"
#include "volumes/VolumeFormat.h"
#include "volumes/VolumeName.h"

namespace fs = std::filesystem;

namespace {

using volume::kMostVolumes;

struct SourceFile {
    fs::path host;
    std::string stored;  // Windows-1252, backslashes
    std::int64_t size = 0;
};

std::string Describe(const fs::path& path) { return "\"" + path.string() + "\""; }

std::vector<SourceFile> CollectFiles(const fs::path& source) {
    std::error_code error;
    if (!fs::is_directory(source, error))
        throw BuildError("the source " + Describe(source) + " is not a folder");
    std::vector<SourceFile> files;
    std::int64_t total = 0;
    fs::recursive_directory_iterator it(source, error), end;
    if (error)
        throw BuildError("cannot read the folder " + Describe(source) + ": " + error.message());
    for (; it != end; it.increment(error)) {
        if (error)
            throw BuildError("cannot read below " + Describe(source) + ": " + error.message());
        if (it->is_directory(error)) continue;
        if (!it->is_regular_file(error))
            throw BuildError(Describe(it->path()) + " is not a regular file");
        SourceFile file;
        file.host = it->path();
        std::string relative = it->path().lexically_relative(source).generic_string();
        std::replace(relative.begin(), relative.end(), '/', '\\');
        const auto ansi = Utf8ToAnsi(relative);
        if (!ansi)
            throw BuildError("the name " + Describe(relative) +
                             " cannot be stored in Windows-1252");
        file.stored = *ansi;
        const std::string fault = volume::StoredNameFault(file.stored);
        if (!fault.empty()) throw BuildError(Describe(relative) + " cannot be stored: " + fault);
        const auto size = it->file_size(error);
        if (error) throw BuildError("cannot read " + Describe(it->path()) + ": " + error.message());
        file.size = static_cast<std::int64_t>(size);
        total += file.size;
        if (total > INT32_MAX)
            throw BuildError("the source is too large: its files hold more than " +
                             std::to_string(INT32_MAX) +
                             " bytes, the most that a set's total can count");
        files.push_back(std::move(file));
    }
    std::sort(files.begin(), files.end(), [](const SourceFile& a, const SourceFile& b) {
        if ((a.size == 0) != (b.size == 0)) return a.size == 0;
        return a.stored < b.stored;
    });
    return files;
}

using posix::FileDescriptor;

// Writes the volumes one after the other into a folder.
class VolumeWriter {
  public:
    VolumeWriter(fs::path folder, std::int64_t volumeSize)
        : folder_(std::move(folder)),
          capacity_(volumeSize > 0 ? volumeSize - volume::kNextVolumeByteSize : INT64_MAX) {
        Open(1);
    }

    std::int64_t Room() const { return capacity_ - used_; }
    std::int64_t Capacity() const { return capacity_; }
    int Number() const { return number_; }

    void Write(const std::string& bytes) {
        WriteAll(bytes.data(), bytes.size());
        used_ += static_cast<std::int64_t>(bytes.size());
    }
    // Copies count bytes of an open source file into the current volume.
    void CopyFrom(int source, const fs::path& name, std::int64_t count) {
        while (count > 0) {
            const ssize_t moved = ::copy_file_range(source, nullptr, out_.Get(), nullptr,
                                                    static_cast<std::size_t>(count), 0);
            if (moved < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL)) {
                CopyThroughBuffer(source, name, count);
                return;
            }
            if (moved < 0) Fail("cannot copy " + Describe(name));
            if (moved == 0)
                throw BuildError(Describe(name) + " became shorter while the set was built");
            count -= moved;
            used_ += moved;
        }
    }
    // Ends the current volume with the next one's number and opens that one.
    void NextVolume() {
        if (number_ >= kMostVolumes)
            throw BuildError("the set needs more than " + std::to_string(kMostVolumes) +
                             " volumes; choose a larger volume size");
        Finish(static_cast<unsigned char>(number_ + 1));
        Open(number_ + 1);
    }
    void Finish(unsigned char next) {
        WriteAll(&next, 1);
        const int syncError = ::fsync(out_.Get()) == 0 ? 0 : errno;
        const int closeError = out_.Close();
        if (syncError != 0 || closeError != 0)
            Fail("cannot write " + volume::VolumeName(number_), syncError ? syncError : closeError);
        digests_.push_back(DigestOfVolume());
    }
    // The size and digest of every finished volume, as written to the disk.
    const std::vector<volume::VolumeDigest>& Digests() const { return digests_; }

  private:
    // Read back from the file rather than taken from the bytes on their way in:
    // the digest covers what the disk holds.
    volume::VolumeDigest DigestOfVolume() {
        const fs::path path = folder_ / volume::VolumeName(number_);
        FileDescriptor in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (in.Get() < 0) Fail("cannot read back " + volume::VolumeName(number_));
        const auto digest = volume::DigestOf([&](void* buffer, std::size_t count) {
            while (true) {
                const ssize_t got = ::read(in.Get(), buffer, count);
                if (got < 0 && errno == EINTR) continue;
                if (got < 0) Fail("cannot read back " + volume::VolumeName(number_));
                return static_cast<std::size_t>(got);
            }
        });
        return {number_, digest->size, digest->digest};
    }

    void Open(int number) {
        number_ = number;
        used_ = 0;
        const fs::path path = folder_ / volume::VolumeName(number);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) Fail("cannot create " + Describe(path));
        out_.Reset(fd);
    }
    void WriteAll(const void* data, std::size_t size) {
        if (const int error = posix::WriteAll(out_.Get(), data, size))
            Fail("cannot write " + volume::VolumeName(number_), error);
    }
    void CopyThroughBuffer(int source, const fs::path& name, std::int64_t count) {
        std::array<char, 61440> buffer;
        while (count > 0) {
            const ssize_t got =
                ::read(source, buffer.data(),
                       static_cast<std::size_t>(std::min<std::int64_t>(count, buffer.size())));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) Fail("cannot read " + Describe(name));
            if (got == 0)
                throw BuildError(Describe(name) + " became shorter while the set was built");
            WriteAll(buffer.data(), static_cast<std::size_t>(got));
            count -= got;
            used_ += got;
        }
    }
    [[noreturn]] static void Fail(const std::string& what, int error = errno) {
        throw BuildError(what + ": " + std::strerror(error));
    }

    fs::path folder_;
    std::int64_t capacity_;
    std::int64_t used_ = 0;
    int number_ = 0;
    FileDescriptor out_;
    std::vector<volume::VolumeDigest> digests_;
};

// Writes the digest file into the folder, flushed to the disk.
void WriteDigestFile(const fs::path& folder, const volume::SetDigests& set) {
    const fs::path path = folder / volume::kDigestFileName;
    if (const int error = posix::ReplaceFile(path, volume::FormatDigestFile(set)))
        throw BuildError("cannot write " + Describe(path) + ": " + std::strerror(error));
}

// Removes a folder and what it holds when the build does not get through.
class TemporaryFolder {
  public:
    explicit TemporaryFolder(const fs::path& inside) {
        std::string pattern = (inside / ".setupvol-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw BuildError("cannot write into " + Describe(inside) + ": " + std::strerror(errno));
        path_ = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& Path() const { return path_; }

  private:
    fs::path path_;
};

// Removes the volumes of an earlier set from the folder, so that none of them
// seems to follow the new set's last volume.
void RemoveVolumesIn(const fs::path& folder) {
    std::error_code error;
    fs::directory_iterator it(folder, error), end;
    for (; !error && it != end; it.increment(error)) {
        if (!volume::ParseVolumeName(it->path().filename().string())) continue;
        const bool file = it->is_regular_file(error);
        if (!error && file) fs::remove(it->path(), error);
        if (error)
            throw BuildError("cannot replace " + Describe(it->path()) + ": " + error.message());
    }
    if (error)
        throw BuildError("cannot read the folder " + Describe(folder) + ": " + error.message());
}

void MoveIntoPlace(const fs::path& from, const fs::path& to, int volumes) {
    std::error_code error;
    // Without Setup.d01 no set is whole: it goes first and comes back last. The
    // old digest file follows it out, and the new one comes in just before it.
    for (const std::string& name : {volume::VolumeName(1), std::string(volume::kDigestFileName)}) {
        fs::remove(to / name, error);
        if (error)
            throw BuildError("cannot replace " + Describe(to / name) + ": " + error.message());
    }
    RemoveVolumesIn(to);
    std::vector<std::string> names;
    for (int number = volumes; number >= 2; --number) names.push_back(volume::VolumeName(number));
    names.push_back(volume::kDigestFileName);
    names.push_back(volume::VolumeName(1));
    for (const std::string& name : names) {
        fs::rename(from / name, to / name, error);
        if (error) throw BuildError("cannot move " + name + " into place: " + error.message());
    }
    // The set is in place by now; a folder that cannot be flushed leaves the
    // names to the system's own write-back, and the build stands.
    [[maybe_unused]] const int synced = posix::SyncFolder(to);
}

}  // namespace

BuildResult BuildVolumeSet(const BuildOptions& options) {
    if (options.volumeSize < 0) throw BuildError("the volume size must be positive");
    const std::vector<SourceFile> files = CollectFiles(options.source);
    std::error_code error;
    fs::create_directories(options.output, error);
    if (error)
        throw BuildError("cannot create " + Describe(options.output) + ": " + error.message());

    BuildResult result;
    for (const SourceFile& file : files) result.total += file.size;
    result.files = static_cast<int>(files.size());

    TemporaryFolder work(options.output);
    VolumeWriter writer(work.Path(), options.volumeSize);
    if (writer.Capacity() < volume::kTotalSize)
        throw BuildError("the volume size is too small to hold the set's total");
    writer.Write(volume::EncodeInt32(static_cast<std::int32_t>(result.total)));
    for (const SourceFile& file : files) {
        const std::int64_t header = volume::HeaderSize(file.stored);
        if (header > writer.Capacity())
            throw BuildError("the volume size is too small for the record of " +
                             Describe(AnsiToUtf8(file.stored)));
        if (writer.Room() < header) writer.NextVolume();
        writer.Write(file.stored + std::string(1, '\0') +
                     volume::EncodeInt32(static_cast<std::int32_t>(file.size)));
        FileDescriptor source(::open(file.host.c_str(), O_RDONLY | O_CLOEXEC));
        if (source.Get() < 0)
            throw BuildError("cannot read " + Describe(file.host) + ": " + std::strerror(errno));
        std::int64_t left = file.size;
        while (left > 0) {
            if (writer.Room() == 0) writer.NextVolume();
            const std::int64_t piece = std::min(left, writer.Room());
            writer.CopyFrom(source.Get(), file.host, piece);
            left -= piece;
        }
    }
    writer.Finish(0);
    result.volumes = writer.Number();
    volume::SetDigests digests{volume::NewSetIdentity(), writer.Digests(), std::nullopt};
    for (const SourceFile& file : files)
        digests.longestName =
            std::max(digests.longestName.value_or(0), static_cast<int>(file.stored.size()));
    WriteDigestFile(work.Path(), digests);
    MoveIntoPlace(work.Path(), options.output, result.volumes);
    return result;
}
