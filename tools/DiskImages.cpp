#include "tools/DiskImages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

// The image stream's struct burn_source comes with libisofs itself: the tool
// does not burn, it writes the image to a file.
#define LIBISOFS_WITHOUT_LIBBURN
#include <libisofs/libisofs.h>

#include "platform/Exceptions.h"
#include "platform/host/files/PosixFile.h"
#include "volumes/VolumeDigest.h"
#include "volumes/VolumeFormat.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMostLabel = 32;  // the volume identifier's field
constexpr int kBlock = 2048;

// libisofs lives between iso_init and iso_finish.
class Library {
  public:
    Library() {
        if (iso_init() < 0) throw Exception("libisofs cannot be started");
    }
    ~Library() { iso_finish(); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
};

[[noreturn]] void Failed(const fs::path& image, const std::string& what, int code) {
    throw Exception("cannot write the disk image " + image.string() + ": " + what +
                    (code < 0 ? std::string(" (") + iso_error_to_msg(code) + ")" : std::string()));
}

void WriteImage(const fs::path& image, const std::string& label,
                const std::vector<fs::path>& files) {
    IsoImage* raw = nullptr;
    int result = iso_image_new(label.c_str(), &raw);
    if (result < 0) Failed(image, "no image", result);
    const std::unique_ptr<IsoImage, decltype(&iso_image_unref)> iso(raw, &iso_image_unref);
    iso_image_set_volume_id(iso.get(), label.c_str());
    for (const fs::path& file : files) {
        result = iso_tree_add_new_node(iso.get(), iso_image_get_root(iso.get()),
                                       file.filename().c_str(), file.c_str(), nullptr);
        if (result < 0) Failed(image, "cannot add " + file.string(), result);
    }

    IsoWriteOpts* rawOptions = nullptr;
    // Profile 1: Rock Ridge with the names kept as they are (and the other
    // relaxations that Linux reads), level 3 for files beyond 4 GiB.
    result = iso_write_opts_new(&rawOptions, 1);
    if (result < 0) Failed(image, "no write options", result);
    const std::unique_ptr<IsoWriteOpts, decltype(&iso_write_opts_free)> options(
        rawOptions, &iso_write_opts_free);
    iso_write_opts_set_rockridge(options.get(), 1);
    iso_write_opts_set_joliet(options.get(), 1);
    iso_write_opts_set_iso_level(options.get(), 3);

    burn_source* source = nullptr;
    result = iso_image_create_burn_source(iso.get(), options.get(), &source);
    if (result < 0) Failed(image, "cannot start the image", result);
    const auto freeSource = [](burn_source* s) {
        s->free_data(s);
        std::free(s);
    };
    const std::unique_ptr<burn_source, decltype(freeSource)> stream(source, freeSource);

    // Written as every file of the host is replaced: into a new file beside
    // it, flushed, renamed over it, the folder flushed; never a part of an image
    // under its name.
    int streamFault = 0;
    const int error = posix::ReplaceFileWith(image, [&](int fd) {
        unsigned char block[kBlock];
        while (true) {
            const int got = stream->read_xt(stream.get(), block, kBlock);
            if (got < 0) {
                streamFault = got;
                return EIO;
            }
            if (got == 0) return 0;
            if (const int failed = posix::WriteAll(fd, block, static_cast<std::size_t>(got)))
                return failed;
            if (got < kBlock) return 0;
        }
    });
    if (streamFault < 0) Failed(image, "the image stream failed", streamFault);
    if (error != 0) Failed(image, std::strerror(error), 0);
}

// The file as libisofs is given it: from the root, since it reads it later.
fs::path Absolute(const fs::path& file) {
    std::error_code failed;
    fs::path absolute = fs::absolute(file, failed);
    if (failed) throw Exception("cannot find the file " + file.string() + ": " + failed.message());
    return absolute;
}

}  // namespace

std::string DiskLabelFault(const std::string& label) {
    if (label.empty()) return "the label is empty";
    for (const char c : label)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return "a disk label holds only A-Z, 0-9 and _";
    if (label.size() + 4 > kMostLabel)
        return "a disk label has at most " + std::to_string(kMostLabel - 4) + " characters";
    return {};
}

void WriteDiskImages(const fs::path& volumes, int count, const fs::path& folder,
                     const std::string& label) {
    const std::string fault = DiskLabelFault(label);
    if (!fault.empty()) throw Exception(fault + ": " + label);
    std::error_code failed;
    fs::create_directories(folder, failed);
    if (failed)
        throw Exception("cannot create the folder " + folder.string() + ": " + failed.message());
    const fs::path digest = volumes / volume::kDigestFileName;
    const bool withDigest = fs::is_regular_file(digest, failed);
    const Library library;
    for (int number = 1; number <= count; ++number) {
        std::vector<fs::path> files = {Absolute(volumes / volume::VolumeName(number))};
        if (withDigest) files.push_back(Absolute(digest));
        WriteImage(folder / ("disk" + std::to_string(number) + ".iso"),
                   label + "_" + std::to_string(number), files);
    }
}
