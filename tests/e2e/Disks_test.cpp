// Installing from real disks: the set's disk images (written by the publisher's
// tool) mounted read-only, by the kernel where it reads ISO 9660, else through
// FUSE (fuseiso), else tmpfs mounts that hold the volumes. Everything is mounted
// in a mount namespace of this program's own, entered before any thread starts,
// so that nothing is seen outside it. Where no mount is possible, the tests are
// skipped with the reason.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
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
#include <cstring>
#include <fstream>
#include <iostream>

#include "extract/Unit_ExtractForm.h"
#include "extract/Unit_ExtractThread.h"
#include "platform/host/machine/WinePrefix.h"
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

class DisksTest : public ExtractTest {
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
        FirstDiskFolder.clear();
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

    std::vector<Record> Records() {
        std::vector<Record> records;
        for (int i = 0; i < 6; ++i)
            records.push_back(
                {"Files\\File" + std::to_string(i) + ".dat", testset::Pattern(2500 + 100 * i, i)});
        return records;
    }
    void ExpectInstalledAsFromOneFolder(const std::vector<Record>& records) {
        std::vector<std::string> names;
        for (const Record& record : records) {
            EXPECT_EQ(InstalledContent(record.name), record.data) << record.name;
            names.push_back(record.name);
        }
        EXPECT_EQ(CloseLog(), ExpectedLog(names));
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
    ExtractPars.Sources = {drive.string()};

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
    ExtractPars.Sources = {(media / "LINGORA_1").string()};
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
    ExtractPars.Sources = {(media / "LINGORA_1").string()};
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
int RunUnattended(const fs::path& prefix, const QStringList& sources, std::string& messages) {
    WinePrefix(prefix).EnsureExists();
    QProcess setup;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("WINEPREFIX", QString::fromStdString(prefix.string()));
    setup.setProcessEnvironment(environment);
    QStringList arguments = {"--unattended", "--accept-licence", "--no-desktop-entries"};
    for (const QString& source : sources) arguments << "--source" << source;
    setup.start(SETUP_PATH, arguments);
    if (!setup.waitForFinished(60000)) return -1;
    messages = setup.readAllStandardError().toStdString();
    return setup.exitCode();
}

TEST_F(DisksTest, UnattendedFindsTheDisksMountedApartAndNamesWhereItLookedForAMissingOne) {
    const auto records = Records();
    const fs::path set = MakeSet("right", records, testset::kSetIdentity);
    const fs::path media = temp_.Path() / "media" / "anna";
    Insert(set, 1, media / "LINGORA_1");
    Insert(set, 2, media / "LINGORA_2");
    const QString first = QString::fromStdString((media / "LINGORA_1").string());
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

TEST_F(DisksTest, SetupStartedFromItsDiskRunsFromAPrivateCopyAndLeavesTheDiskFree) {
    const fs::path disk = temp_.Path() / "disk";
    fs::create_directories(disk);
    ASSERT_EQ(::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64m"), 0) << std::strerror(errno);
    mounted_.push_back(disk);
    fs::copy_file(SETUP_PATH, disk / "Setup");
    // Started as the README shows: in the disk's folder, the program on the disk.
    QProcess setup;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("WINEPREFIX", QString::fromStdString((temp_.Path() / "prefix").string()));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    setup.setProcessEnvironment(environment);
    setup.setWorkingDirectory(QString::fromStdString(disk.string()));
    setup.start(QString::fromStdString((disk / "Setup").string()), {});
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
    Eject(disk);
    setup.kill();
    setup.waitForFinished();
}

}  // namespace
