// ISO 9660 image files read as disks, without mounting them. An image's files
// are named by their path inside it, and each opens as a stream over the part
// of the image file that holds it: the volume reader reads it as any host file,
// and the kernel's copy works from it as from a file on a mounted disk.
//
// Names are taken as the image records them: Rock Ridge names first, then
// Joliet, then the plain ISO 9660 name with its version (";1") removed. They
// match case-insensitively (ASCII), and a version suffix in the name asked for
// is ignored, so "Setup.d01", "SETUP.D01" and "SETUP.D01;1" name one file.
//
// Failures are reported, never thrown: a file that is not an image at all
// (NotAnImage), an image whose folders libisofs cannot read (Damaged, with the
// reason), a name the image does not hold (Missing). A file of an image that
// was cut short is found with what is left of it, so that its reader sees a
// short file, as on a damaged disk.
//
// Thread use: any thread; libisofs is kept to one caller at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace iso {

// Whether a host file begins as an ISO 9660 image does: a volume descriptor
// ("CD001") in the sector where every image has its first one.
bool LooksLikeImage(const std::string& imagePath);

struct ImageFile {
    enum class Status { Found, Missing, NotAnImage, Damaged };
    Status status = Status::Missing;
    std::int64_t offset = 0;  // where its data start in the image file
    std::int64_t size = 0;    // what the image file holds of them
    bool cutShort = false;    // the image ends before the file's recorded size
    std::string fault;        // what is wrong with a damaged image
};

// Where the file at path ('/' between folder names, no leading '/') lies in
// the image at imagePath (a host path).
ImageFile FindInImage(const std::string& imagePath, const std::string& path);

// The names of the files (not folders) in the folder at path inside the image
// ("" for its root), as FindInImage matches them; nothing when the image
// cannot be read or holds no such folder.
std::optional<std::vector<std::string>> FilesInImage(const std::string& imagePath,
                                                     const std::string& path);

// Opens that file for reading as a stream over its part of the image file.
// Null on failure, with the Windows error: ERROR_FILE_NOT_FOUND for a name the
// image does not hold, ERROR_FILE_CORRUPT for a damaged image, the error of the
// open for an image file that cannot be opened.
std::unique_ptr<IFileStream> OpenInImage(const std::string& imagePath, const std::string& path,
                                         std::uint32_t& error);

// A host path through an image file, as a file system names a file on a disk
// image: "/srv/disk1.iso/SETUP.D01" is SETUP.D01 inside /srv/disk1.iso.
struct ImagePath {
    std::string image;   // the image file's host path
    std::string inside;  // the path inside it
};
// The image that a host path goes through: the nearest existing file above
// its last name, when that is an image. Nothing for a path whose nearest
// existing ancestor is a folder (the common case, one stat) or another file.
std::optional<ImagePath> SplitImagePath(const std::string& hostPath);

// For the file systems: the file that a host path names inside an image, when
// it goes through one. OpenImagePath gives null with ERROR_PATH_NOT_FOUND for a
// path through no image.
std::unique_ptr<IFileStream> OpenImagePath(const std::string& hostPath, std::uint32_t& error);
bool ImagePathHoldsFile(const std::string& hostPath);

}  // namespace iso
