#include "platform/host/files/IsoImage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

#define LIBISOFS_WITHOUT_LIBBURN
#include <libisofs/libisofs.h>

#include "platform/WinTypes.h"
#include "platform/host/files/HostErrors.h"
#include "platform/host/files/HostFileStream.h"
#include "platform/host/files/PosixFile.h"

namespace iso {
namespace {

constexpr std::int64_t kBlock = 2048;
constexpr std::int64_t kFirstDescriptor = 16 * kBlock;

// libisofs keeps global state between iso_init and iso_finish and is not made
// for two callers at once; the reader takes it for each look-up.
std::mutex libraryMutex;

class Library {
  public:
    Library() : started_(iso_init() >= 0) {
        // Its messages would go to standard error; the reader reports its own.
        char never[] = "NEVER";
        char none[] = "";
        if (started_) iso_set_msgs_severities(never, never, none);
    }
    ~Library() {
        if (started_) iso_finish();
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    bool Started() const { return started_; }

  private:
    bool started_;
};

std::string Reason(const std::string& what, int code) {
    return code < 0 ? what + " (" + iso_error_to_msg(code) + ")" : what;
}

ImageFile Damaged(std::string fault) {
    ImageFile file;
    file.status = ImageFile::Status::Damaged;
    file.fault = std::move(fault);
    return file;
}

// A name as asked for, without a version suffix (";1").
std::string WithoutVersion(const std::string& name) {
    const std::size_t semicolon = name.rfind(';');
    if (semicolon == std::string::npos) return name;
    for (std::size_t i = semicolon + 1; i < name.size(); ++i)
        if (name[i] < '0' || name[i] > '9') return name;
    std::string bare = name.substr(0, semicolon);
    // A name without an extension is recorded "NAME.;1".
    if (!bare.empty() && bare.back() == '.') bare.pop_back();
    return bare;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The child of dir named name, or null.
IsoNode* Child(IsoDir* dir, const std::string& name) {
    IsoDirIter* raw = nullptr;
    if (iso_dir_get_children(dir, &raw) != 1) return nullptr;
    const std::unique_ptr<IsoDirIter, decltype(&iso_dir_iter_free)> iter(raw, &iso_dir_iter_free);
    IsoNode* node = nullptr;
    while (iso_dir_iter_next(iter.get(), &node) == 1)
        if (SameName(WithoutVersion(iso_node_get_name(node)), name)) return node;
    return nullptr;
}

// The node at path below the root, or null when a component is missing or a
// folder on the way is not one.
IsoNode* NodeAt(IsoImage* image, const std::string& path) {
    IsoNode* node = reinterpret_cast<IsoNode*>(iso_image_get_root(image));
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string component = WithoutVersion(path.substr(start, slash - start));
        start = slash + 1;
        if (component.empty()) continue;
        if (!ISO_NODE_IS_DIR(node)) return nullptr;
        node = Child(reinterpret_cast<IsoDir*>(node), component);
        if (node == nullptr) return nullptr;
    }
    return node;
}

// Where a file's data lie: its extents, which must follow one another (a file
// beyond 4 GiB is recorded in several).
ImageFile Extent(IsoFile* file, std::int64_t imageSize) {
    int count = 0;
    struct iso_file_section* sections = nullptr;
    const int result = iso_file_get_old_image_sections(file, &count, &sections, 0);
    const std::unique_ptr<struct iso_file_section, decltype(&std::free)> owned(sections,
                                                                               &std::free);
    if (result != 1 || count < 1) return Damaged(Reason("a file without a place", result));
    ImageFile found;
    found.status = ImageFile::Status::Found;
    found.offset = static_cast<std::int64_t>(sections[0].block) * kBlock;
    for (int i = 0; i < count; ++i) {
        if (static_cast<std::int64_t>(sections[i].block) * kBlock != found.offset + found.size)
            return Damaged("a file in parts apart");
        found.size += sections[i].size;
    }
    if (found.offset + found.size > imageSize) {
        // What the cut image still holds of it; nothing when it starts beyond the end.
        found.cutShort = true;
        found.offset = std::min(found.offset, imageSize);
        found.size = imageSize - found.offset;
    }
    return found;
}

// An image's folders as libisofs reads them, for one look-up: libisofs is held
// from the first call to the last.
class ImportedImage {
  public:
    explicit ImportedImage(const std::string& imagePath) : lock_(libraryMutex) {
        if (!library_.Started()) {
            fault_ = "libisofs cannot be started";
            return;
        }
        IsoDataSource* source = nullptr;
        int result = iso_data_source_new_from_file(imagePath.c_str(), &source);
        if (result < 0) {
            fault_ = Reason("the image cannot be read", result);
            return;
        }
        source_.reset(source);
        IsoReadOpts* options = nullptr;
        result = iso_read_opts_new(&options, 0);
        if (result < 0) {
            fault_ = Reason("no read options", result);
            return;
        }
        const std::unique_ptr<IsoReadOpts, decltype(&iso_read_opts_free)> owned(
            options, &iso_read_opts_free);
        iso_read_opts_set_ecma119_map(options, 1);  // plain names without ";1"
        IsoImage* image = nullptr;
        result = iso_image_new("", &image);
        if (result < 0) {
            fault_ = Reason("no image", result);
            return;
        }
        image_.reset(image);
        result = iso_image_import(image, source, options, nullptr);
        if (result < 0) fault_ = Reason("its folders cannot be read", result);
    }

    // Empty when the image was read.
    const std::string& Fault() const { return fault_; }
    IsoNode* At(const std::string& path) const { return NodeAt(image_.get(), path); }

  private:
    std::lock_guard<std::mutex> lock_;
    Library library_;  // started after the lock is taken, finished before it goes
    std::unique_ptr<IsoDataSource, decltype(&iso_data_source_unref)> source_{
        nullptr, &iso_data_source_unref};
    std::unique_ptr<IsoImage, decltype(&iso_image_unref)> image_{nullptr, &iso_image_unref};
    std::string fault_;
};

}  // namespace

bool LooksLikeImage(const std::string& imagePath) {
    const posix::FileDescriptor file(::open(imagePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    char id[6] = {};
    return ::pread(file.Get(), id, sizeof id, kFirstDescriptor) == sizeof id &&
           std::string(id + 1, 5) == "CD001";
}

ImageFile FindInImage(const std::string& imagePath, const std::string& path) {
    if (!LooksLikeImage(imagePath)) {
        ImageFile none;
        none.status = ImageFile::Status::NotAnImage;
        return none;
    }
    struct stat info {};
    if (::stat(imagePath.c_str(), &info) != 0) return Damaged("the image cannot be read");
    const ImportedImage image(imagePath);
    if (!image.Fault().empty()) return Damaged(image.Fault());
    IsoNode* node = image.At(path);
    if (node == nullptr || !ISO_NODE_IS_FILE(node)) return ImageFile{};  // Missing
    return Extent(reinterpret_cast<IsoFile*>(node), static_cast<std::int64_t>(info.st_size));
}

std::optional<std::vector<std::string>> FilesInImage(const std::string& imagePath,
                                                     const std::string& path) {
    if (!LooksLikeImage(imagePath)) return std::nullopt;
    const ImportedImage image(imagePath);
    if (!image.Fault().empty()) return std::nullopt;
    IsoNode* folder = image.At(path);
    IsoDirIter* raw = nullptr;
    if (folder == nullptr || !ISO_NODE_IS_DIR(folder) ||
        iso_dir_get_children(reinterpret_cast<IsoDir*>(folder), &raw) != 1)
        return std::nullopt;
    const std::unique_ptr<IsoDirIter, decltype(&iso_dir_iter_free)> iter(raw, &iso_dir_iter_free);
    std::vector<std::string> names;
    IsoNode* node = nullptr;
    while (iso_dir_iter_next(iter.get(), &node) == 1)
        if (ISO_NODE_IS_FILE(node)) names.push_back(WithoutVersion(iso_node_get_name(node)));
    return names;
}

std::unique_ptr<IFileStream> OpenInImage(const std::string& imagePath, const std::string& path,
                                         std::uint32_t& error) {
    const ImageFile file = FindInImage(imagePath, path);
    if (file.status != ImageFile::Status::Found) {
        error = file.status == ImageFile::Status::Damaged ? win::ERROR_FILE_CORRUPT
                                                          : win::ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    const int descriptor = ::open(imagePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        error = WinErrorFromErrno(errno);
        return nullptr;
    }
    error = 0;
    return std::make_unique<HostFileStream>(descriptor, file.offset, file.size);
}

std::optional<ImagePath> SplitImagePath(const std::string& hostPath) {
    std::size_t cut = hostPath.rfind('/');
    while (cut != std::string::npos && cut > 0) {
        const std::string above = hostPath.substr(0, cut);
        struct stat info {};
        if (::stat(above.c_str(), &info) == 0) {
            if (!S_ISREG(info.st_mode) || !LooksLikeImage(above)) return std::nullopt;
            return ImagePath{above, hostPath.substr(cut + 1)};
        }
        if (errno != ENOENT && errno != ENOTDIR) return std::nullopt;
        cut = hostPath.rfind('/', cut - 1);
    }
    return std::nullopt;
}

std::unique_ptr<IFileStream> OpenImagePath(const std::string& hostPath, std::uint32_t& error) {
    const std::optional<ImagePath> split = SplitImagePath(hostPath);
    if (!split) {
        error = win::ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    return OpenInImage(split->image, split->inside, error);
}

bool ImagePathHoldsFile(const std::string& hostPath) {
    const std::optional<ImagePath> split = SplitImagePath(hostPath);
    return split && FindInImage(split->image, split->inside).status == ImageFile::Status::Found;
}

}  // namespace iso
