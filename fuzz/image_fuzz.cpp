// The disk-image reader on hostile images: any bytes give a file inside the
// image, or a refusal, never a crash, a hang or a file said to lie beyond the
// image's end.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/host/files/IsoImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int file = ::memfd_create("image", MFD_CLOEXEC);
    if (file < 0) return 0;
    if (::write(file, data, size) != static_cast<ssize_t>(size)) {
        ::close(file);
        return 0;
    }
    const std::string image = "/proc/self/fd/" + std::to_string(file);
    for (const char* name : {"Setup.d01", "SETUP.SUM;1", "sub/deep.txt"}) {
        const iso::ImageFile found = iso::FindInImage(image, name);
        if (found.status != iso::ImageFile::Status::Found) continue;
        if (found.offset < 0 || found.size < 0 ||
            found.offset + found.size > static_cast<std::int64_t>(size))
            __builtin_trap();
        std::uint32_t error = 0;
        const auto stream = iso::OpenInImage(image, name, error);
        if (!stream) __builtin_trap();
        char buffer[4096];
        std::int64_t read = 0;
        while (const std::size_t got = stream->Read(buffer, sizeof buffer)) read += got;
        if (read != found.size) __builtin_trap();
    }
    ::close(file);
    return 0;
}
