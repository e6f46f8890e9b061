#include "platform/host/files/HostFileStream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "platform/WinTypes.h"
#include "platform/host/files/HostErrors.h"

HostFileStream::HostFileStream(int descriptor) : descriptor_(descriptor) {}

HostFileStream::HostFileStream(int descriptor, std::int64_t offset, std::int64_t length)
    : descriptor_(descriptor), offset_(offset), length_(length) {
    ::lseek(descriptor_, static_cast<off_t>(offset_), SEEK_SET);
}

HostFileStream::~HostFileStream() { Close(); }

bool HostFileStream::Usable() {
    if (descriptor_ >= 0) return true;
    lastError_ = win::ERROR_INVALID_HANDLE;
    return false;
}

std::uint64_t HostFileStream::Readable() {
    if (!IsPart()) return std::numeric_limits<std::uint64_t>::max();
    const off_t at = ::lseek(descriptor_, 0, SEEK_CUR);
    const std::int64_t end = offset_ + length_;
    return at < 0 || at >= end ? 0 : static_cast<std::uint64_t>(end - at);
}

std::size_t HostFileStream::Read(void* buffer, std::size_t count) {
    if (!Usable()) return 0;
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, Readable()));
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(descriptor_, static_cast<char*>(buffer) + done, count - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            lastError_ = errno == EIO ? win::ERROR_READ_FAULT : WinErrorFromErrno(errno);
            break;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::size_t HostFileStream::Write(const void* buffer, std::size_t count) {
    if (!Usable()) return 0;
    if (IsPart()) {
        lastError_ = win::ERROR_ACCESS_DENIED;
        return 0;
    }
    std::size_t done = 0;
    while (done < count) {
        const ssize_t put =
            ::write(descriptor_, static_cast<const char*>(buffer) + done, count - done);
        if (put < 0) {
            if (errno == EINTR) continue;
            lastError_ = WinErrorFromErrno(errno);
            break;
        }
        if (put == 0) {
            lastError_ = win::ERROR_DISK_FULL;
            break;
        }
        done += static_cast<std::size_t>(put);
    }
    return done;
}

std::int64_t HostFileStream::Seek(std::int64_t offset, SeekOrigin origin) {
    if (!Usable()) return -1;
    int whence = origin == SeekOrigin::Begin     ? SEEK_SET
                 : origin == SeekOrigin::Current ? SEEK_CUR
                                                 : SEEK_END;
    if (IsPart() && whence != SEEK_CUR) {
        // Positions are the part's: they are moved to the file's and back.
        offset += whence == SEEK_SET ? offset_ : offset_ + length_;
        whence = SEEK_SET;
        if (offset < offset_) {
            lastError_ = win::ERROR_NEGATIVE_SEEK;
            return -1;
        }
    }
    const off_t position = ::lseek(descriptor_, static_cast<off_t>(offset), whence);
    if (position < 0) {
        lastError_ = WinErrorFromErrno(errno);
        return -1;
    }
    if (IsPart() && position < offset_) {
        ::lseek(descriptor_, static_cast<off_t>(offset_), SEEK_SET);
        lastError_ = win::ERROR_NEGATIVE_SEEK;
        return -1;
    }
    return position - offset_;
}

std::int64_t HostFileStream::Size() {
    if (!Usable()) return -1;
    if (IsPart()) return length_;
    struct stat info {};
    if (::fstat(descriptor_, &info) != 0) {
        lastError_ = WinErrorFromErrno(errno);
        return -1;
    }
    return info.st_size;
}

std::int64_t HostFileStream::Position() { return Seek(0, SeekOrigin::Current); }

bool HostFileStream::Flush() {
    if (!Usable()) return false;
    if (IsPart()) return true;  // nothing was written
    if (::fsync(descriptor_) != 0) {
        lastError_ = WinErrorFromErrno(errno);
        return false;
    }
    return true;
}

bool HostFileStream::Close() {
    if (descriptor_ < 0) return true;
    const int descriptor = descriptor_;
    descriptor_ = -1;
    // The descriptor is gone after close() whatever it reports; EINTR is no failure.
    if (::close(descriptor) != 0 && errno != EINTR) {
        lastError_ = WinErrorFromErrno(errno);
        return false;
    }
    return true;
}
