#include "platform/host/machine/PrefixLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

// The process that holds a flock on the file of this device and inode, as the
// kernel lists it in /proc/locks ("1: FLOCK  ADVISORY  WRITE 4711 08:01:1234 0
// EOF"); 0 when it is not listed.
long LockHolder(const struct stat& info) {
    std::ifstream locks("/proc/locks");
    long inodeOnly = 0;
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, file;
        long pid = 0;
        if (!(fields >> number >> kind)) continue;
        if (kind == "->") fields >> kind;  // a waiter
        if (!(fields >> mode >> access >> pid >> file) || kind != "FLOCK") continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3 ||
            inode != info.st_ino)
            continue;
        if (major == ::major(info.st_dev) && minor == ::minor(info.st_dev)) return pid;
        inodeOnly = pid;  // an overlay's own device may differ from the listed one
    }
    return inodeOnly;
}

}  // namespace

PrefixLock::PrefixLock(std::filesystem::path folder) : folder_(std::move(folder)) {}

PrefixLock::~PrefixLock() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

std::string PrefixLock::BusyText(long pid) {
    return "another Setup is installing into or removing from this Wine prefix (process " +
           (pid > 0 ? std::to_string(pid) : std::string("unknown")) + ")";
}

std::string PrefixLock::Take() {
    if (count_ > 0) {
        ++count_;
        return {};
    }
    const int descriptor = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return "the Wine prefix " + folder_.string() + " cannot be opened: " + std::strerror(errno);
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int failure = errno;
        struct stat info {};
        const long holder = ::fstat(descriptor, &info) == 0 ? LockHolder(info) : 0;
        ::close(descriptor);
        if (failure == EWOULDBLOCK) return BusyText(holder);
        return "the Wine prefix " + folder_.string() +
               " cannot be locked: " + std::strerror(failure);
    }
    descriptor_ = descriptor;
    count_ = 1;
    return {};
}

std::string PrefixLock::Lost() const {
    if (count_ == 0) return {};
    struct stat locked {
    }, now{};
    if (::fstat(descriptor_, &locked) == 0 && ::stat(folder_.c_str(), &now) == 0 &&
        locked.st_dev == now.st_dev && locked.st_ino == now.st_ino)
        return {};
    return "the Wine prefix folder " + folder_.string() +
           " was moved, replaced or removed while Setup ran; Setup stopped before writing into "
           "a prefix that another Setup may be changing";
}

void PrefixLock::Release() {
    if (count_ == 0 || --count_ > 0) return;
    ::close(descriptor_);  // the lock goes with the descriptor
    descriptor_ = -1;
}

std::string PrefixOwnershipRefusal(const std::filesystem::path& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) return {};
    if (info.st_uid == ::getuid()) return {};
    return "'" + folder.string() + "' is not owned by you";
}
