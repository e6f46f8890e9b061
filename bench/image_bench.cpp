// Disk-image benchmark: a set of large files written as ISO 9660 images by
// the publisher's tool, installed by `lingora-setup --unattended` straight
// from the images (read without mounting them), side by side with the same
// installation from the same images mounted (by the kernel where it reads
// ISO 9660, else by fuseiso), interleaved over several rounds. Prints the
// medians, their ratio against the target (at most 1.1) and each run's peak
// memory, which must stay flat whatever the set's size.
//
//   image_bench [--full] [--rounds N] [--dir FOLDER]
//
// The default set is 256 MiB; --full makes it 1 GiB. Mounting needs root (or
// a user namespace of its own) and FUSE or the kernel's iso9660.
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/host/files/PlainFileSystem.h"
#include "tools/DiskImages.h"
#include "tools/VolumeSetBuilder.h"
#include "volumes/VolumeFormat.h"

namespace fs = std::filesystem;

namespace {

void Fail(const std::string& why) {
    std::fprintf(stderr, "image_bench: %s\n", why.c_str());
    std::exit(1);
}

bool KernelReadsIso9660() {
    std::ifstream filesystems("/proc/filesystems");
    for (std::string line; std::getline(filesystems, line);)
        if (line.find("iso9660") != std::string::npos) return true;
    return false;
}

// Large files of pseudo-random bytes (they neither compress nor repeat).
void WriteSource(const fs::path& source, std::int64_t total) {
    fs::create_directories(source);
    std::vector<char> buffer(1 << 20);
    unsigned state = 12345;
    const std::int64_t each = total / 4;
    for (int file = 0; file < 4; ++file) {
        std::ofstream out(source / ("Large" + std::to_string(file) + ".bin"), std::ios::binary);
        for (std::int64_t written = 0; written < each; written += buffer.size()) {
            for (char& c : buffer)
                c = static_cast<char>((state = state * 1103515245u + 12345u) >> 16);
            out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        }
    }
}

struct Run {
    double seconds = 0;
    long peakKiB = 0;
};

// One unattended installation into a fresh prefix, as a process of its own.
Run Install(const fs::path& prefix, const std::vector<std::string>& sources) {
    fs::remove_all(prefix);
    std::vector<std::string> arguments = {SETUP_PATH, "--unattended", "--accept-licence", "--quiet",
                                          "--no-desktop-entries"};
    for (const std::string& source : sources) {
        arguments.push_back("--source");
        arguments.push_back(source);
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::setenv("WINEPREFIX", prefix.c_str(), 1);
    ::sync();
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, SETUP_PATH, nullptr, nullptr, argv.data(), environ) != 0)
        Fail("cannot start lingora-setup");
    int status = 0;
    struct rusage usage {};
    ::wait4(child, &status, 0, &usage);
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKiB = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("lingora-setup failed");
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    std::int64_t total = 256ll << 20;
    int rounds = 3;
    fs::path dir = fs::temp_directory_path();
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--full") {
            total = 1ll << 30;
        } else if (argument == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else {
            std::fprintf(stderr, "usage: image_bench [--full] [--rounds N] [--dir FOLDER]\n");
            return 2;
        }
    }
    const bool kernel = KernelReadsIso9660();
    if (!kernel && ::access("/dev/fuse", R_OK | W_OK) != 0)
        Fail("the images cannot be mounted here (no iso9660, no /dev/fuse): nothing to compare");
    const fs::path work = dir / ("image_bench-" + std::to_string(::getpid()));
    fs::create_directories(work);

    std::printf("set: %lld MiB of large files in CD-sized volumes\n",
                static_cast<long long>(total >> 20));
    WriteSource(work / "source", total);
    int disks = 0;
    {
        PlainFileSystem plain;
        ScopedPlatform platform(Platform{&plain, nullptr, nullptr, nullptr});
        try {
            disks =
                BuildVolumeSet({work / "source", work / "volumes", volume::kCdVolumeSize}).volumes;
            WriteDiskImages(work / "volumes", disks, work / "images", "LINGORA");
        } catch (const std::exception& failure) {
            Fail(failure.what());
        }
    }
    fs::remove_all(work / "source");
    fs::remove_all(work / "volumes");

    std::vector<std::string> images, mounted;
    for (int number = 1; number <= disks; ++number) {
        const fs::path image = work / "images" / ("disk" + std::to_string(number) + ".iso");
        const fs::path at = work / "mnt" / ("LINGORA_" + std::to_string(number));
        fs::create_directories(at);
        const std::string command =
            kernel ? "mount -o loop,ro '" + image.string() + "' '" + at.string() + "'"
                   : "fuseiso '" + image.string() + "' '" + at.string() + "'";
        if (std::system(command.c_str()) != 0) Fail("cannot mount " + image.string());
        images.push_back(image.string());
        mounted.push_back(at.string());
    }
    std::printf("mounted by %s\n", kernel ? "the kernel" : "fuseiso");

    std::vector<double> fromImages, fromMounts;
    long peakImages = 0, peakMounts = 0;
    for (int round = 0; round < rounds; ++round) {
        const Run image = Install(work / "prefix-images", images);
        const Run mount = Install(work / "prefix-mounted", mounted);
        fromImages.push_back(image.seconds);
        fromMounts.push_back(mount.seconds);
        peakImages = std::max(peakImages, image.peakKiB);
        peakMounts = std::max(peakMounts, mount.peakKiB);
        std::printf("round %d: from the images %.3f s, from the mounted images %.3f s\n", round + 1,
                    image.seconds, mount.seconds);
    }
    for (const std::string& at : mounted)
        if (::umount2(at.c_str(), 0) != 0) std::system(("fusermount -u '" + at + "'").c_str());
    fs::remove_all(work);

    const double ratio = Median(fromImages) / Median(fromMounts);
    std::printf(
        "images: from the images %.3f s, from the mounted images %.3f s (medians of %d); "
        "images/mounted %.2f (<= 1.1: %s); peak memory %ld KiB from the images, %ld KiB mounted\n",
        Median(fromImages), Median(fromMounts), rounds, ratio, ratio <= 1.1 ? "met" : "NOT met",
        peakImages, peakMounts);
    return 0;
}
