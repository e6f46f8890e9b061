// lingora-setupvol: the publisher's tool for Setup's data volumes.
//
//   lingora-setupvol build SOURCE_DIR OUT_DIR [--volume-size BYTES|floppy|cd]
//                          [--images DIR [--label TEXT]]
//   lingora-setupvol check DISK...
//   lingora-setupvol list DISK...
//   lingora-setupvol --help | --version
//
// check verifies the volumes against the digest file (Setup.sum) when the set
// has one, then reads the set's structure as Setup does. build --images also
// writes one ISO 9660 image per disk into DIR (disk1.iso ..., labels TEXT_1 ...,
// LINGORA_1 ... by default), each with its volume and the digest file.
// A DISK of check and list is a folder or an ISO 9660 image file, read without
// mounting it; a set spread over several disks is given as all of them.
//
// Exit codes: 0 done (check: the set is whole), 1 a fault in the set or the
// build, 2 wrong usage.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/host/files/IsoImage.h"
#include "platform/host/files/PlainFileSystem.h"
#include "tools/DiskImages.h"
#include "tools/VolumeSetBuilder.h"
#include "volumes/VolumeDigest.h"
#include "volumes/VolumeFormat.h"
#include "volumes/VolumeSetWalker.h"

namespace {

constexpr char Synopsis[] =
    "Usage: lingora-setupvol build SOURCE_DIR OUT_DIR [--volume-size SIZE]\n"
    "                             [--images DIR [--label TEXT]]\n"
    "  or:  lingora-setupvol check DISK...\n"
    "  or:  lingora-setupvol list DISK...\n";

int Usage() {
    std::fprintf(stderr, "%sTry 'lingora-setupvol --help'.\n", Synopsis);
    return 2;
}

int Help() {
    std::printf(
        "%s"
        "Builds, checks and lists the data volumes of Lingora Setup: Setup.d01 and its\n"
        "successors, with their digest file Setup.sum.\n"
        "\n"
        "Commands:\n"
        "  build SOURCE_DIR OUT_DIR  Write the files below SOURCE_DIR as a volume set into\n"
        "                            OUT_DIR, with Setup.sum; an earlier set there is replaced.\n"
        "  check DISK...             Check the set on the disks against its digests, then\n"
        "                            read it as Setup does; name the first fault. A disk is\n"
        "                            a folder or an ISO 9660 image file (disk1.iso).\n"
        "  list DISK...              Print the stored names and sizes, and the total.\n"
        "\n"
        "Options:\n"
        "  --volume-size SIZE        The size of each volume file in bytes, or 'floppy'\n"
        "                            (1474560) or 'cd' (681984000); unbounded by default.\n"
        "  -h, --help                Display this help.\n"
        "  -v, --version             Display version information.\n",
        Synopsis);
    return 0;
}

bool ParseVolumeSize(const std::string& text, std::int64_t& size) {
    if (text == "floppy") {
        size = volume::kFloppyVolumeSize;
        return true;
    }
    if (text == "cd") {
        size = volume::kCdVolumeSize;
        return true;
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 15)
        return false;
    size = std::stoll(text);
    return size > 0;
}

int Build(int argc, char** argv) {
    if (argc < 4) return Usage();
    BuildOptions options;
    options.source = argv[2];
    options.output = argv[3];
    std::string images;
    std::string label = kDefaultDiskLabel;
    bool labelGiven = false;
    for (int i = 4; i < argc; i += 2) {
        if (i + 1 >= argc) return Usage();
        const std::string option = argv[i];
        if (option == "--volume-size") {
            if (!ParseVolumeSize(argv[i + 1], options.volumeSize)) {
                std::fprintf(stderr, "lingora-setupvol: not a volume size: %s\n", argv[i + 1]);
                return 2;
            }
        } else if (option == "--images") {
            images = argv[i + 1];
        } else if (option == "--label") {
            label = argv[i + 1];
            labelGiven = true;
        } else {
            return Usage();
        }
    }
    if (labelGiven && images.empty()) return Usage();
    if (const std::string fault = DiskLabelFault(label); !fault.empty()) {
        std::fprintf(stderr, "lingora-setupvol: %s: %s\n", fault.c_str(), label.c_str());
        return 2;
    }
    try {
        const BuildResult result = BuildVolumeSet(options);
        std::printf("%d files, %lld bytes in %d volume%s\n", result.files,
                    static_cast<long long>(result.total), result.volumes,
                    result.volumes == 1 ? "" : "s");
        if (!images.empty()) {
            WriteDiskImages(options.output, result.volumes, images, label);
            std::printf("%d disk image%s in %s, labels %s_1 to %s_%d\n", result.volumes,
                        result.volumes == 1 ? "" : "s", images.c_str(), label.c_str(),
                        label.c_str(), result.volumes);
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lingora-setupvol: %s\n", error.what());
        return 1;
    }
}

// Reads the set on the disks (folders or images) as Setup does, by the
// volumes' full paths; list prints every record.
int Walk(const std::vector<std::string>& given, bool list) {
    std::vector<std::string> disks;
    for (const std::string& disk : given) {
        std::error_code failed;
        const std::filesystem::path absolute = std::filesystem::absolute(disk, failed);
        if (failed || !(std::filesystem::is_directory(absolute, failed) ||
                        iso::LooksLikeImage(absolute.string()))) {
            std::fprintf(stderr, "lingora-setupvol: cannot open the disk %s: %s\n", disk.c_str(),
                         failed ? failed.message().c_str() : "not a folder nor an ISO 9660 image");
            return 1;
        }
        // An image whose folders cannot be read is named as such, not as a
        // disk that lacks its volume.
        const iso::ImageFile probe = iso::FindInImage(absolute.string(), volume::kDigestFileName);
        if (probe.status == iso::ImageFile::Status::Damaged) {
            std::fprintf(stderr, "lingora-setupvol: the disk image %s is damaged: %s\n",
                         disk.c_str(), probe.fault.c_str());
            return 1;
        }
        disks.push_back(absolute.lexically_normal().string());
    }
    const SetFileLocator where = OnSetDisks(disks);
    PlainFileSystem files;
    ScopedPlatform platform(Platform{&files, nullptr, nullptr, nullptr});
    try {
        // The digests first: a damaged volume is named as such before its
        // structure is read.
        const std::optional<int> listed = list ? std::nullopt : CheckVolumeDigests(where);
        const WalkedSet set = WalkVolumeSet(
            [list](const WalkedRecord& record) {
                if (list) std::printf("%12d  %s\n", record.size, AnsiToUtf8(record.name).c_str());
            },
            where);
        if (listed && *listed != set.volumes)
            throw EDamagedVolume(std::string("The digest file ") + volume::kDigestFileName +
                                 " lists " + std::to_string(*listed) + " volumes, the set has " +
                                 std::to_string(set.volumes));
        if (list)
            std::printf("%d files, %d bytes in %d volume%s\n", set.files, set.total, set.volumes,
                        set.volumes == 1 ? "" : "s");
        else
            std::printf("whole: %d files, %d bytes in %d volume%s%s\n", set.files, set.total,
                        set.volumes, set.volumes == 1 ? "" : "s",
                        listed ? ", digests match" : ", no digest file");
        return 0;
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "lingora-setupvol: %s\n", AnsiToUtf8(error.what()).c_str());
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if ((command == "--help" || command == "-h") && argc == 2) return Help();
    if ((command == "--version" || command == "-v") && argc == 2) {
        std::printf("lingora-setupvol (Lingora Setup) %s\n", SETUP_VERSION);
        return 0;
    }
    if (command == "build") return Build(argc, argv);
    const std::vector<std::string> disks(argv + std::min(argc, 2), argv + argc);
    if (command == "check" && !disks.empty()) return Walk(disks, false);
    if (command == "list" && !disks.empty()) return Walk(disks, true);
    return Usage();
}
