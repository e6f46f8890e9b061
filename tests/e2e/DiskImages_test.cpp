// Disk images are disks, read without mounting them: the wizard's copying and
// the unattended installation take a set's ISO 9660 images where they take
// its folders, with the same result byte for byte, and a damaged image is a
// damaged disk.
#include "tools/DiskImages.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "extract/Unit_ExtractForm.h"
#include "extract/Unit_ExtractThread.h"
#include "platform/host/files/IsoImage.h"
#include "tests/e2e/TwoDiskTest.h"
#include "tests/extract/ExtractTestSupport.h"
#include "tests/support/ShellCommand.h"

namespace fs = std::filesystem;
using testset::Record;

namespace {

class DiskImagesTest : public TwoDiskTest {
  protected:
    // A two-disk set of the records in set/, with its digest file, and its
    // images (Rock Ridge and Joliet names) in images/.
    fs::path MakeImages(const std::vector<Record>& records) {
        const testset::VolumeSet set = testset::WriteVolumeSet(Set(), records, 9000);
        EXPECT_EQ(set.volumes.size(), 2u);
        testset::WriteDigestFile(Set(), testset::kSetIdentity, 2);
        WriteDiskImages(Set(), 2, Images(), "LINGORA");
        return Images();
    }
    fs::path Set() const { return temp_.Path() / "set"; }
    fs::path Images() const { return temp_.Path() / "images"; }
    fs::path Disk(int number) const {
        return Images() / ("disk" + std::to_string(number) + ".iso");
    }
    void CopyFrom(const std::vector<std::string>& sources) {
        copying_->From(sources).FirstDisk(sources.front());
    }
};

}  // namespace

TEST_F(DiskImagesTest, BrowseTakesTheImageOfTheNextDisk) {
    const auto records = Records();
    MakeImages(records);
    const fs::path elsewhere = temp_.Path() / "elsewhere" / "the second one.iso";
    fs::create_directories(elsewhere.parent_path());
    fs::rename(Disk(2), elsewhere);
    CopyFrom({Disk(1).string()});
    bool picked = false;
    AnswerModal("Change disk", [&](QWidget* dialog) {
        EXPECT_EQ(qobject_cast<QMessageBox*>(dialog)->text(),
                  "Insert disk 2 in the disk drive and click OK.");
        AnswerModal("Select the folder of disk 2", [&](QWidget* w) {
            auto* picker = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(picker, nullptr);
            picker->setDirectory(QString::fromStdString(elsewhere.parent_path().string()));
            picker->selectFile(QString::fromStdString(elsewhere.string()));
            // SETUP_SCREENSHOTS names a folder for a picture of the picker.
            const QString shots = qEnvironmentVariable("SETUP_SCREENSHOTS");
            if (!shots.isEmpty()) picker->grab().save(shots + "/07-browse-disk-image.png");
            picked = true;
            // The picker's own button takes the image, as a click does.
            auto* buttons = picker->findChild<QDialogButtonBox*>();
            ASSERT_NE(buttons, nullptr);
            QPushButton* choose = buttons->button(QDialogButtonBox::Open);
            ASSERT_NE(choose, nullptr);
            ASSERT_TRUE(choose->isEnabled()) << "the picker offers no button for an image";
            choose->click();
        });
        ClickButton(dialog, "&Browse...");
    });
    EXPECT_EQ(ExtractForm->exec(), 1);
    EXPECT_TRUE(picked);
    EXPECT_EQ(VolumeFolder, elsewhere.string());
    ExpectInstalledAsFromOneFolder(records);
}

TEST_F(DiskImagesTest, ACutImageIsADamagedDisk) {
    const auto records = Records();
    MakeImages(records);
    const std::string whole = TempFolder::ReadFile(Disk(2));
    const iso::ImageFile volume = iso::FindInImage(Disk(2), "Setup.d02");
    ASSERT_EQ(volume.status, iso::ImageFile::Status::Found);
    std::ofstream(Disk(2), std::ios::binary | std::ios::trunc)
        << whole.substr(0, volume.offset + 1000);
    CopyFrom({Disk(1).string(), Disk(2).string()});
    QString text;
    AnswerModal("Change disk", [&](QWidget* dialog) {
        text = qobject_cast<QMessageBox*>(dialog)->text();
        std::ofstream(Disk(2), std::ios::binary | std::ios::trunc) << whole;
        ClickButton(dialog, "OK");
    });
    EXPECT_EQ(ExtractForm->exec(), 1);
    EXPECT_EQ(text,
              "Disk 2 is damaged or belongs to another set. Insert disk 2 of this set in the "
              "disk drive and click OK.");
    ExpectInstalledAsFromOneFolder(records);
}

namespace {

// Installs unattended into prefix from the sources, as a user who cannot mount
// anything (nobody, when the tests run as root); the exit code, with what
// Setup said in messages.
int InstallAsNobody(const fs::path& prefix, const std::vector<fs::path>& sources,
                    std::string& messages) {
    std::string command = "cd / && WINEPREFIX=" + ShellQuoted(prefix.string()) + " ";
    if (::geteuid() == 0) command += "setpriv --reuid=nobody --regid=nogroup --clear-groups -- ";
    command += std::string(SETUP_PATH) +
               " --unattended --accept-licence --no-desktop-entries --dir 'C:\\Lingora'";
    for (const fs::path& source : sources) command += " --source " + ShellQuoted(source.string());
    int status = -1;
    messages = RunShellCommand(command + " 2>&1", &status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST_F(DiskImagesTest, UnattendedFromImagesIsTheInstallationFromTheFolder) {
    if (::geteuid() == 0 && RunShellCommand("command -v setpriv").empty())
        GTEST_SKIP() << "setpriv (util-linux) is needed to run Setup as nobody";
    const auto records = Records();
    MakeImages(records);
    // Plain ISO 9660 names only ("SETUP.D01;1"), as xorriso writes them without
    // Rock Ridge and Joliet.
    const bool plain = !RunShellCommand("command -v xorriso").empty();
    if (plain) {
        for (int number : {1, 2}) {
            const fs::path disk = temp_.Path() / "plain" / ("d" + std::to_string(number));
            fs::create_directories(disk);
            const std::string volume = "Setup.d0" + std::to_string(number);
            fs::copy_file(Set() / volume, disk / volume);
            fs::copy_file(Set() / "Setup.sum", disk / "Setup.sum");
            int status = -1;
            RunShellCommand(
                "xorriso -as mkisofs -quiet -o " +
                    ShellQuoted((temp_.Path() / "plain" / ("CD0" + std::to_string(number) + ".iso"))
                                    .string()) +
                    " " + ShellQuoted(disk.string()) + " 2>&1",
                &status);
            ASSERT_EQ(status, 0);
        }
    } else {
        std::cout << "[ NOTE     ] xorriso is not installed: plain ISO 9660 names not tried\n";
    }
    // Everything the other user reads or writes lies below the test's folder.
    fs::permissions(temp_.Path(), fs::perms::all, fs::perm_options::replace);
    fs::create_directories(temp_.Path() / "prefixes");
    fs::permissions(temp_.Path() / "prefixes", fs::perms::all, fs::perm_options::replace);

    std::string messages;
    ASSERT_EQ(InstallAsNobody(temp_.Path() / "prefixes" / "folder", {Set()}, messages), 0)
        << messages;
    const fs::path expected = temp_.Path() / "prefixes" / "folder" / "drive_c" / "Lingora";
    std::vector<std::pair<std::string, std::vector<fs::path>>> runs = {
        {"images", {Disk(1)}}};  // disk 2 is found beside it by its name
    if (plain) runs.push_back({"plain", {temp_.Path() / "plain" / "CD01.iso"}});
    for (const auto& [name, sources] : runs) {
        SCOPED_TRACE(name);
        ASSERT_EQ(InstallAsNobody(temp_.Path() / "prefixes" / name, sources, messages), 0)
            << messages;
        const fs::path installed = temp_.Path() / "prefixes" / name / "drive_c" / "Lingora";
        for (const Record& record : records) {
            std::string relative = record.name;
            std::replace(relative.begin(), relative.end(), '\\', '/');
            EXPECT_TRUE(TempFolder::ReadFile(installed / relative) == record.data) << record.name;
        }
        EXPECT_FALSE(TempFolder::ReadFile(expected / "Install.log").empty());
        EXPECT_EQ(TempFolder::ReadFile(installed / "Install.log"),
                  TempFolder::ReadFile(expected / "Install.log"));
    }
}
