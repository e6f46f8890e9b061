// Installing from real disks: the set's disk images (written by the publisher's
// tool) mounted read-only, by the kernel where it reads ISO 9660, else through
// FUSE (fuseiso), else tmpfs mounts that hold the volumes. Everything is mounted
// in a mount namespace of this program's own, entered before any thread starts,
// so that nothing is seen outside it. Where no mount is possible, the tests are
// skipped with the reason.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>

#include "extract/Unit_ExtractForm.h"
#include "extract/Unit_ExtractThread.h"
#include "platform/host/machine/WinePrefix.h"
#include "tests/e2e/TwoDiskTest.h"
#include "tests/extract/ExtractTestSupport.h"
#include "tools/DiskImages.h"
#include "volumes/DiskSearch.h"

namespace fs = std::filesystem;
using testset::Record;

namespace {

// Why nothing can be mounted here; empty when the namespace is ours.
std::string MountRefusal() {
    static const std::string refusal = [] {
        if (::geteuid() != 0) return std::string("mounting needs root");
        if (::unshare(CLONE_NEWNS) != 0)
            return std::string("no mount namespace of its own (unshare: ") + std::strerror(errno) +
                   ")";
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("the mounts cannot be made private: ") + std::strerror(errno);
        return std::string();
    }();
    return refusal;
}
// Entered while the program has one thread only: unshare(CLONE_NEWNS) refuses
// a process with several.
const bool namespaceEntered = (MountRefusal(), true);

bool KernelReadsIso9660() {
    std::ifstream filesystems("/proc/filesystems");
    std::string line;
    while (std::getline(filesystems, line))
        if (line.find("iso9660") != std::string::npos) return true;
    return false;
}

bool FuseIsoWorks() {
    return ::access("/dev/fuse", R_OK | W_OK) == 0 &&
           std::system("command -v fuseiso >/dev/null 2>&1") == 0;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// How the disks are put in: images or tmpfs mounts that hold their files.
enum class DiskKind { KernelImage, FuseImage, Tmpfs };

class DisksTest : public TwoDiskTest {
  protected:
    void SetUp() override {
        ExtractTest::SetUp();
        if (!MountRefusal().empty()) GTEST_SKIP() << "no disks can be mounted: " << MountRefusal();
        kind_ = KernelReadsIso9660() ? DiskKind::KernelImage
                : FuseIsoWorks()     ? DiskKind::FuseImage
                                     : DiskKind::Tmpfs;
        if (kind_ == DiskKind::KernelImage)
            std::cout << "[ NOTE     ] the disks are ISO 9660 images mounted by the kernel\n";
        if (kind_ == DiskKind::FuseImage)
            std::cout << "[ NOTE     ] the disks are ISO 9660 images mounted by fuseiso\n";
        if (kind_ == DiskKind::Tmpfs)
            std::cout << "[ NOTE     ] disk images cannot be read here (no iso9660 in "
                         "/proc/filesystems, no FUSE with fuseiso): tmpfs mounts hold the "
                         "volumes instead\n";
    }
    void TearDown() override {
        for (auto it = mounted_.rbegin(); it != mounted_.rend(); ++it)
            ::umount2(it->c_str(), MNT_DETACH);
        ExtractTest::TearDown();
    }

    // A two-disk set of the records with a digest file naming identity, its
    // volumes in stage/<name>, its images in stage/<name>-images.
    fs::path MakeSet(const std::string& name, const std::vector<Record>& records,
                     const std::string& identity) {
        const fs::path folder = temp_.Path() / "stage" / name;
        const testset::VolumeSet set = testset::WriteVolumeSet(folder, records, 9000);
        EXPECT_EQ(set.volumes.size(), 2u);
        testset::WriteDigestFile(folder, identity, 2);
        if (kind_ != DiskKind::Tmpfs)
            WriteDiskImages(folder, 2, folder.string() + "-images", "LINGORA");
        return folder;
    }

    // Puts disk number of the set into the folder (created when missing).
    void Insert(const fs::path& set, int number, const fs::path& at) {
        fs::create_directories(at);
        const fs::path image = set.string() + "-images/disk" + std::to_string(number) + ".iso";
        int status = 0;
        switch (kind_) {
            case DiskKind::KernelImage:
                status =
                    std::system(("mount -o loop,ro " + Quoted(image) + " " + Quoted(at)).c_str());
                break;
            case DiskKind::FuseImage:
                status = std::system(("fuseiso " + Quoted(image) + " " + Quoted(at)).c_str());
                break;
            case DiskKind::Tmpfs:
                status = ::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=8m");
                for (const char* file : {"Setup.sum", number == 1 ? "Setup.d01" : "Setup.d02"})
                    fs::copy_file(set / file, at / file);
                ::mount(nullptr, at.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
                break;
        }
        ASSERT_EQ(status, 0) << "cannot mount disk " << number << " at " << at;
        mounted_.push_back(at);
    }
    // Takes the disk out: the unmount must succeed, nothing may hold it.
    void Eject(const fs::path& at) {
        ASSERT_EQ(::umount2(at.c_str(), 0), 0)
            << "the disk at " << at << " cannot be unmounted: " << std::strerror(errno);
        mounted_.erase(std::find(mounted_.begin(), mounted_.end(), at));
    }

    DiskKind kind_ = DiskKind::Tmpfs;
    std::vector<fs::path> mounted_;
};

// Watches for the disk prompt: its texts, and OK clicked only when the prompt
// has not closed by itself within the grace time.
class PromptWatch {
  public:
    explicit PromptWatch(std::function<void(QMessageBox*)> onPrompt, int graceMs = 4000)
        : onPrompt_(std::move(onPrompt)), graceMs_(graceMs) {
        QObject::connect(&poll_, &QTimer::timeout, [this] { Look(); });
        poll_.start(20);
    }
    std::vector<std::string> texts;
    int clicks = 0;

  private:
    void Look() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || box == current_ || box->windowTitle() != "Change disk") return;
        current_ = box;
        texts.push_back(box->text().toStdString());
        onPrompt_(box);
        QTimer::singleShot(graceMs_, box, [this, box] {
            if (!box->isVisible()) return;
            ++clicks;
            box->defaultButton()->click();
        });
    }
    std::function<void(QMessageBox*)> onPrompt_;
    int graceMs_;
    QTimer poll_;
    QMessageBox* current_ = nullptr;
};

constexpr char kInsert2[] = "Insert disk 2 in the disk drive and click OK.";

TEST_F(DisksTest, DisksChangedInOneDriveAreTakenWhenMountedAndTheFirstCanBeUnmounted) {
    const auto records = Records();
    const fs::path set = MakeSet("right", records, testset::kSetIdentity);
    const fs::path other = MakeSet("other", records, "ffeeddccbbaa99887766554433221100");
    const fs::path drive = temp_.Path() / "cdrom";
    Insert(set, 1, drive);
    copying_->From({drive.string()});

    // Disk 1 out, another set's disk 2 in: refused with the damaged-disk prompt;
    // then the right disk 2, taken when it is mounted.
    PromptWatch watch([&](QMessageBox*) {
        Eject(drive);
        Insert(watch.texts.size() == 1 ? other : set, 2, drive);
    });
    EXPECT_EQ(ExtractForm->exec(), 1);
    ASSERT_EQ(watch.texts.size(), 2u);
    EXPECT_EQ(watch.texts[0], kInsert2);
    EXPECT_EQ(watch.texts[1].rfind("Disk 2 is damaged or belongs to another set.", 0), 0u);
    EXPECT_EQ(watch.clicks, 0) << "a prompt waited for a click after its disk was mounted";
    EXPECT_EQ(VolumeFolder, drive.string());
    Eject(drive);  // nothing holds the last disk either
    ExpectInstalledAsFromOneFolder(records);
}

TEST_F(DisksTest, DisksAtTheirOwnLabelsAreFoundWithoutAPromptAndAnotherSetsIsPassedOver) {
    const auto records = Records();
    const fs::path set = MakeSet("right", records, testset::kSetIdentity);
    const fs::path other = MakeSet("other", records, "ffeeddccbbaa99887766554433221100");
    const fs::path media = temp_.Path() / "media" / "anna";
    Insert(set, 1, media / "LINGORA_1");
    Insert(other, 2, media / "LINGORA_0");  // mounted first, of another set
    Insert(set, 2, media / "LINGORA_2");
    copying_->From({(media / "LINGORA_1").string()});
    PromptWatch watch([](QMessageBox*) {}, 500);
    EXPECT_EQ(ExtractForm->exec(), 1);
    EXPECT_TRUE(watch.texts.empty()) << watch.texts.front();
    EXPECT_EQ(VolumeFolder, (media / "LINGORA_2").string());
    ExpectInstalledAsFromOneFolder(records);
}

TEST_F(DisksTest, ADiskMountedWhileThePromptIsShownAtItsOwnLabelGoesOn) {
    const auto records = Records();
    const fs::path set = MakeSet("right", records, testset::kSetIdentity);
    const fs::path media = temp_.Path() / "run" / "media" / "bo";
    Insert(set, 1, media / "LINGORA_1");
    copying_->From({(media / "LINGORA_1").string()});
    PromptWatch watch([&](QMessageBox*) { Insert(set, 2, media / "LINGORA_2"); });
    EXPECT_EQ(ExtractForm->exec(), 1);
    EXPECT_EQ(watch.texts, std::vector<std::string>{kInsert2});
    EXPECT_EQ(watch.clicks, 0);
    Eject(media / "LINGORA_1");
    Eject(media / "LINGORA_2");
    ExpectInstalledAsFromOneFolder(records);
}

TEST_F(DisksTest, DiskOneMountedLaterIsFoundBelowMnt) {
    const auto records = Records();
    const fs::path set = MakeSet("right", records, testset::kSetIdentity);
    // /mnt of this namespace only.
    ASSERT_EQ(::mount("tmpfs", "/mnt", "tmpfs", 0, "size=1m"), 0) << std::strerror(errno);
    mounted_.push_back("/mnt");
    PromptWatch watch([&](QMessageBox*) { Insert(set, 1, "/mnt/LINGORA_1"); });
    EXPECT_TRUE(LocateFirstDisk({(temp_.Path() / "elsewhere").string()}));
    EXPECT_EQ(watch.texts,
              std::vector<std::string>{"Insert disk 1 in the disk drive and click OK."});
    EXPECT_EQ(watch.clicks, 0);
    EXPECT_EQ(FirstDiskFolder, "/mnt/LINGORA_1");
    Insert(set, 2, "/mnt/LINGORA_2");
    EXPECT_EQ(ExtractForm->exec(), 1);
    ExpectInstalledAsFromOneFolder(records);
}

// Runs Setup unattended on a prefix of its own; its exit code, standard error in
// messages.
// With terminateAfterMs, SIGTERM goes to it that long after its start.
// withHungMount: a worker of Setup's waits for a hung mount when it ends; the
// leak check of a sanitizer build cannot stop that thread (it waits in the
// kernel) and would wait for it for ever, so it is not made there.
int RunUnattended(const fs::path& prefix, const std::vector<std::string>& sources,
                  std::string& messages, int terminateAfterMs = -1, bool withHungMount = false) {
    WinePrefix(prefix).EnsureExists();
    // The arguments go as bytes (QProcess would make them UTF-8).
    std::vector<std::string> arguments = {SETUP_PATH, "--unattended", "--accept-licence",
                                          "--no-desktop-entries"};
    for (const std::string& source : sources) {
        arguments.push_back("--source");
        arguments.push_back(source);
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::string errors = prefix.string() + ".stderr";
    const std::string variable = "WINEPREFIX=" + prefix.string();
    std::vector<char*> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (std::strncmp(*entry, "WINEPREFIX=", 11) != 0 &&
            (!withHungMount || std::strncmp(*entry, "ASAN_OPTIONS=", 13) != 0))
            environment.push_back(*entry);
    environment.push_back(const_cast<char*>(variable.c_str()));
    static char noLeakCheck[] = "ASAN_OPTIONS=detect_leaks=0";
    if (withHungMount) environment.push_back(noLeakCheck);
    environment.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t child = 0;
    const int spawned =
        posix_spawn(&child, SETUP_PATH, &actions, nullptr, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    for (int i = 0; i < 6000; ++i) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (terminateAfterMs >= 0 && i == terminateAfterMs / 10) ::kill(child, SIGTERM);
        if (i == 5999) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        QThread::msleep(10);
    }
    messages = TempFolder::ReadFile(errors);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(DisksTest, UnattendedFindsTheDisksMountedApartAndNamesWhereItLookedForAMissingOne) {
    const auto records = Records();
    const fs::path set = MakeSet("right", records, testset::kSetIdentity);
    const fs::path media = temp_.Path() / "media" / "anna";
    Insert(set, 1, media / "LINGORA_1");
    Insert(set, 2, media / "LINGORA_2");
    const std::string first = (media / "LINGORA_1").string();
    std::string messages;
    const fs::path prefix = temp_.Path() / "unattended";
    ASSERT_EQ(RunUnattended(prefix, {first}, messages), 0) << messages;
    std::vector<std::string> names;
    for (const Record& record : records) {
        std::string relative = record.name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        EXPECT_EQ(TempFolder::ReadFile(prefix / "drive_c" / "Program Files" / "Lingora" / relative),
                  record.data);
        names.push_back(record.name);
    }
    const std::string log =
        TempFolder::ReadFile(prefix / "drive_c" / "Program Files" / "Lingora" / "Install.log");
    EXPECT_EQ(log.rfind(ExpectedLog(names), 0), 0u) << log;

    Eject(media / "LINGORA_2");
    EXPECT_EQ(RunUnattended(temp_.Path() / "again", {first}, messages), 4);
    EXPECT_NE(messages.find("Setup.d02 (disk 2) is not in " + (media / "LINGORA_1").string()),
              std::string::npos)
        << messages;
    EXPECT_NE(messages.find((media / "LINGORA_1").string()), std::string::npos) << messages;
}

// Starts Setup's wizard from the program on the mounted disk, in folder with
// arguments, and checks that it runs from its private copy with "/" as its
// folder and lets the disk be unmounted.
void ExpectRunningFromAPrivateCopy(const fs::path& disk, const fs::path& folder,
                                   const QStringList& arguments, const fs::path& prefix,
                                   const std::function<void()>& eject) {
    QProcess setup;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("WINEPREFIX", QString::fromStdString(prefix.string()));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    setup.setProcessEnvironment(environment);
    setup.setWorkingDirectory(QString::fromStdString(folder.string()));
    setup.start(QString::fromStdString((disk / "lingora-setup").string()), arguments);
    ASSERT_TRUE(setup.waitForStarted());
    const std::string proc = "/proc/" + std::to_string(setup.processId());
    // The program runs from its copy (already removed) with "/" as its folder.
    std::string exe;
    for (int i = 0; i < 200 && exe.find("(deleted)") == std::string::npos; ++i) {
        std::error_code ignored;
        exe = fs::read_symlink(proc + "/exe", ignored).string();
        QThread::msleep(50);
    }
    EXPECT_EQ(exe.find(disk.string()), std::string::npos) << exe;
    EXPECT_NE(exe.find("(deleted)"), std::string::npos) << exe;
    EXPECT_FALSE(fs::exists(fs::path(exe.substr(0, exe.find(" (deleted)"))).parent_path()));
    for (int i = 0; i < 100 && fs::read_symlink(proc + "/cwd").string() != "/"; ++i)
        QThread::msleep(50);
    EXPECT_EQ(fs::read_symlink(proc + "/cwd").string(), "/");
    EXPECT_EQ(setup.state(), QProcess::Running);
    eject();
    setup.kill();
    setup.waitForFinished();
}

TEST_F(DisksTest, SetupStartedFromItsDiskRunsFromAPrivateCopyAndLeavesTheDiskFree) {
    const fs::path disk = temp_.Path() / "disk";
    fs::create_directories(disk);
    ASSERT_EQ(::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64m"), 0) << std::strerror(errno);
    mounted_.push_back(disk);
    fs::copy_file(SETUP_PATH, disk / "lingora-setup");
    // Started as the README shows: in the disk's folder, the program on the disk.
    ExpectRunningFromAPrivateCopy(disk, disk, {}, temp_.Path() / "prefix", [&] { Eject(disk); });
    // From the home folder, naming the disk's first volume: the same.
    const fs::path set = MakeSet("right", Records(), testset::kSetIdentity);
    const fs::path cd = temp_.Path() / "media" / "cd";
    fs::create_directories(cd);
    ASSERT_EQ(::mount("tmpfs", cd.c_str(), "tmpfs", 0, "size=64m"), 0) << std::strerror(errno);
    mounted_.push_back(cd);
    fs::copy_file(SETUP_PATH, cd / "lingora-setup");
    fs::copy_file(set / "Setup.d01", cd / "Setup.d01");
    const fs::path home = temp_.Path() / "home";
    fs::create_directories(home);
    ExpectRunningFromAPrivateCopy(cd, home, {QString::fromStdString((cd / "Setup.d01").string())},
                                  temp_.Path() / "prefix2", [&] { Eject(cd); });
}

// Puts disk number of the set into a tmpfs mounted at `at`, with the files named
// as given (the names a disk shows).
void MountTmpfsDisk(const fs::path& set, int number, const fs::path& at,
                    const std::vector<std::pair<std::string, std::string>>& names,
                    std::vector<fs::path>& mounted) {
    fs::create_directories(at);
    ASSERT_EQ(::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=8m"), 0)
        << at << ": " << std::strerror(errno);
    mounted.push_back(at);
    for (const auto& [file, shown] : names)
        if (file != "Setup.d0" + std::to_string(3 - number)) fs::copy_file(set / file, at / shown);
    ASSERT_EQ(::mount(nullptr, at.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
}

void ExpectInstalledUnattended(const fs::path& prefix, const std::vector<Record>& records) {
    for (const Record& record : records) {
        std::string relative = record.name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        EXPECT_EQ(TempFolder::ReadFile(prefix / "drive_c" / "Program Files" / "Lingora" / relative),
                  record.data)
            << record.name;
    }
}

const std::vector<std::pair<std::string, std::string>> kPlainNames = {
    {"Setup.d01", "Setup.d01"}, {"Setup.d02", "Setup.d02"}, {"Setup.sum", "Setup.sum"}};

TEST_F(DisksTest, FoldersWithAnyBytesInTheirNamesHoldTheDisksAndAreNamedReadably) {
    const auto records = Records();
    const fs::path set = MakeSet("right", records, testset::kSetIdentity);
    // As GVFS names its mounts, and every character Windows refuses in a name.
    const std::string odd = std::string("smb-share:server=x,share=y \\ \t*?\"<>|\n\xff");
    const fs::path media = temp_.Path() / "media" / "anna";
    // Each disk holds its files in a folder below its mount point, as a share does.
    for (int number : {1, 2}) {
        const fs::path at = media / (odd + "_" + std::to_string(number));
        fs::create_directories(at);
        ASSERT_EQ(::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=8m"), 0) << std::strerror(errno);
        mounted_.push_back(at);
        fs::create_directories(at / "setup");
        for (const std::string file :
             {"Setup.d0" + std::to_string(number), std::string("Setup.sum")})
            fs::copy_file(set / file, at / "setup" / file);
    }
    const fs::path first = media / (odd + "_1") / "setup";

    std::string messages;
    ASSERT_EQ(RunUnattended(temp_.Path() / "odd", {first.string()}, messages), 0) << messages;
    ExpectInstalledUnattended(temp_.Path() / "odd", records);

    // Disk 2 gone: the message names the folders readably, on one line.
    fs::remove_all(media / (odd + "_2") / "setup");
    EXPECT_EQ(RunUnattended(temp_.Path() / "odd-again", {first.string()}, messages), 4);
    EXPECT_NE(messages.find("smb-share:server=x,share=y \\\\ \\t*?\"<>|\\n\\xff_1/setup"),
              std::string::npos)
        << messages;
    // Nowhere raw: neither in the progress lines nor in the message.
    EXPECT_EQ(messages.find(odd), std::string::npos) << messages;
    EXPECT_EQ(messages.find('\t'), std::string::npos) << messages;
}

TEST_F(DisksTest, VolumeNamesAsAnIso9660DiskWithoutLongNamesShowsThemInstall) {
    const auto records = Records();
    const fs::path set = MakeSet("right", records, testset::kSetIdentity);
    const fs::path media = temp_.Path() / "media" / "anna";
    const std::vector<std::pair<std::string, std::string>> shown = {
        {"Setup.d01", "SETUP.D01;1"}, {"Setup.d02", "SETUP.D02;1"}, {"Setup.sum", "SETUP.SUM;1"}};
    MountTmpfsDisk(set, 1, media / "LINGORA_1", shown, mounted_);
    MountTmpfsDisk(set, 2, media / "LINGORA_2", shown, mounted_);
    std::string messages;
    ASSERT_EQ(RunUnattended(temp_.Path() / "iso", {(media / "LINGORA_1").string()}, messages), 0)
        << messages;
    ExpectInstalledUnattended(temp_.Path() / "iso", records);
}

TEST_F(DisksTest, AMountWhoseDaemonIsStoppedHangsNothingAndIsPassedOver) {
    if (!FuseIsoWorks()) GTEST_SKIP() << "no FUSE here (/dev/fuse and fuseiso are needed)";
    const auto records = Records();
    const fs::path set = MakeSet("right", records, testset::kSetIdentity);
    if (kind_ == DiskKind::Tmpfs) WriteDiskImages(set, 2, set.string() + "-images", "LINGORA");
    const fs::path media = temp_.Path() / "media" / "anna";
    MountTmpfsDisk(set, 1, media / "LINGORA_1", kPlainNames, mounted_);
    // A FUSE mount between them in the table, its daemon stopped.
    const fs::path hung = media / "HUNG";
    fs::create_directories(hung);
    QProcess daemon;
    daemon.start("fuseiso", {"-n", QString::fromStdString(set.string() + "-images/disk1.iso"),
                             QString::fromStdString(hung.string()), "-f"});
    ASSERT_TRUE(daemon.waitForStarted());
    bool mounted = false;
    for (int i = 0; i < 100 && !mounted; ++i) {
        QThread::msleep(50);
        std::ifstream table("/proc/self/mountinfo");
        const std::string text((std::istreambuf_iterator<char>(table)),
                               std::istreambuf_iterator<char>());
        mounted = text.find(hung.string() + " ") != std::string::npos;
    }
    ASSERT_TRUE(mounted) << "fuseiso did not mount " << hung;
    struct Daemon {
        QProcess& process;
        fs::path folder;
        ~Daemon() {
            ::umount2(folder.c_str(), MNT_DETACH);
            ::kill(static_cast<pid_t>(process.processId()), SIGCONT);
            process.kill();
            process.waitForFinished();
        }
    } cleanup{daemon, hung};
    ASSERT_EQ(::kill(static_cast<pid_t>(daemon.processId()), SIGSTOP), 0);
    // Disk 2 at a label of its own, after the hung mount in the table.
    const fs::path second = temp_.Path() / "media" / "bo" / "DISK_B";
    MountTmpfsDisk(set, 2, second, kPlainNames, mounted_);

    using Clock = std::chrono::steady_clock;
    const auto seconds = [](Clock::time_point since) {
        return std::chrono::duration<double>(Clock::now() - since).count();
    };
    const std::vector<std::string> sources = {(media / "LINGORA_1").string()};
    Clock::time_point start = Clock::now();
    std::string messages;
    ASSERT_EQ(RunUnattended(temp_.Path() / "hung", sources, messages, -1, true), 0) << messages;
    // The time limit once (2 s), and the rest.
    EXPECT_LT(seconds(start), 6.0);
    ExpectInstalledUnattended(temp_.Path() / "hung", records);

    // Disk 2 missing: the hung mount is named.
    Eject(second);
    EXPECT_EQ(RunUnattended(temp_.Path() / "hung-again", sources, messages, -1, true), 4);
    EXPECT_NE(messages.find(hung.string() + " did not answer and was passed over"),
              std::string::npos)
        << messages;
    // SIGTERM while the mount is waited for ends the run at once, as Cancel does.
    start = Clock::now();
    EXPECT_EQ(RunUnattended(temp_.Path() / "hung-stopped", sources, messages, 700, true), 1)
        << messages;
    EXPECT_LT(seconds(start), 1.9) << messages;
    EXPECT_NE(messages.find("stopped by SIGTERM"), std::string::npos) << messages;
}

}  // namespace
