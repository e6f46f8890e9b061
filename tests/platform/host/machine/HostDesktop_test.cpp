// The Linux desktop's entries on a temporary prefix with temporary desktop
// folders, checked by the desktop's own tools: desktop-file-validate reads the
// entries, gio launches them (with a stand-in for wine that records what it
// was given) and xdg-mime asks the databases.
#include "platform/host/machine/HostDesktop.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QXmlStreamReader>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "platform/Exceptions.h"
#include "platform/host/machine/HostProcess.h"
#include "tests/support/PeImageWriter.h"
#include "tests/support/ShellCommand.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TempPrefix.h"

namespace fs = std::filesystem;

namespace {

const char* const kFolder = "Taal & Woorden\\Nederlands \xE9\xE9n";  // "één" in Windows-1252
const char* const kInstall = "C:\\Prog's $Files & 100%\\Lingora";

// Runs a shell command; its standard output without the last line break.
std::string Shell(const std::string& command, int* status = nullptr) {
    std::string output = RunShellCommand(command, status);
    while (!output.empty() && output.back() == '\n') output.pop_back();
    return output;
}

bool Installed(const char* program) { return FindProgramOnPath(program).has_value(); }

std::string Ico(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "ICO");
    return bytes.toStdString();
}

// Every file and folder below root, with the files' contents.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(entry.path(), root).string();
        entries[name + (entry.is_directory() ? "/" : "")] =
            entry.is_directory() ? "" : TempFolder::ReadFile(entry.path());
    }
    return entries;
}

class HostDesktopTest : public testing::Test {
  protected:
    HostDesktop& Desktop() { return prefix_.Machine().Desktop(); }
    const fs::path& Data() { return Desktop().Settings().dataHome; }
    const fs::path& Config() { return Desktop().Settings().configHome; }
    // The environment in which the desktop's tools read these folders.
    std::string Environment() {
        return "env XDG_DATA_HOME=" + ShellQuoted(Data().string()) +
               " XDG_CONFIG_HOME=" + ShellQuoted(Config().string()) + " XDG_CURRENT_DESKTOP=GNOME ";
    }

    void Install() {
        // Lingora has an icon, its uninstaller none.
        prefix_.WriteFile(std::string(kInstall) + "\\Lingora.exe",
                          testpe::ProgramWithIcons({{Ico(16), Ico(32)}}));
        prefix_.WriteFile(std::string(kInstall) + "\\Uninstall Lingora.exe", "MZ");
        for (const char* name : {"Lingora", "Uninstall Lingora"})
            Desktop().AddMenuEntry(
                {kFolder, name, std::string(kInstall) + "\\" + name + ".exe", kInstall});
        Desktop().AddFileType({".wdl", "Lingora.Wordlist", "Lingora wordlist", "Lingora"});
        Desktop().UpdateDatabases();
    }
    void Remove() {
        for (const char* name : {"Lingora", "Uninstall Lingora"})
            Desktop().RemoveMenuEntry(kFolder, name);
        Desktop().RemoveFileType(".wdl");
        Desktop().UpdateDatabases();
    }

    TempPrefix prefix_;
};

TEST_F(HostDesktopTest, EveryFileWrittenIsValid) {
    if (!Installed("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate is missing";
    Install();
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(Data())) {
        const fs::path& file = entry.path();
        const std::string extension = file.extension().string();
        if (extension == ".desktop" || extension == ".directory") {
            int status = 0;
            const std::string complaints =
                Shell("desktop-file-validate " + ShellQuoted(file.string()) + " 2>&1", &status);
            EXPECT_EQ(status, 0) << file << "\n" << complaints;
            EXPECT_EQ(complaints, "") << file;
            ++files;
        }
    }
    EXPECT_EQ(files, 2 + 1 + 4);  // the entries, the file type's, the submenus Wine to één
    // The menu files and the MIME package are XML that parses.
    for (const auto& entry : fs::recursive_directory_iterator(Config())) {
        if (!entry.is_regular_file()) continue;
        QFile file(QString::fromStdString(entry.path().string()));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        while (!xml.atEnd()) xml.readNext();
        EXPECT_FALSE(xml.hasError()) << entry.path() << ": " << xml.errorString().toStdString();
        ++files;
    }
    EXPECT_EQ(files, 7 + 2);
    EXPECT_TRUE(fs::exists(Data() / "applications/wine/Programs/Taal & Woorden/Nederlands één/"
                                    "Lingora.desktop"));
}

TEST_F(HostDesktopTest, EntriesStartTheirProgramsThroughWineInThisPrefix) {
    if (!Installed("gio")) GTEST_SKIP() << "gio (libglib2.0-bin) is missing";
    Install();
    TempFolder bin;
    const fs::path record = bin.Path() / "record";
    const fs::path wine =
        bin.WriteFile("wine",
                      "#!/bin/sh\n{ echo \"cwd=$(pwd)\"; echo \"prefix=$WINEPREFIX\"; "
                      "for a in \"$@\"; do echo \"arg=$a\"; done; } > " +
                          ShellQuoted(record.string()) + "\n");
    fs::permissions(wine, fs::perms::owner_all);
    const std::string launch =
        Environment() + "PATH=" + ShellQuoted(bin.Path().string()) + ":\"$PATH\" gio launch ";
    const auto launched = [&](const fs::path& entry, const std::string& file) {
        fs::remove(record);
        Shell(launch + ShellQuoted(entry.string()) + (file.empty() ? "" : " " + ShellQuoted(file)));
        for (int i = 0; i < 500 && !fs::exists(record); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return TempFolder::ReadFile(record);
    };

    const std::string prefix = "prefix=" + prefix_.Folder().string() + "\n";
    EXPECT_EQ(launched(Desktop().MenuEntryFile(kFolder, "Lingora"), ""),
              "cwd=" + prefix_.HostPath(kInstall).string() + "\n" + prefix +
                  "arg=start\narg=C:\\Prog's $Files & 100%\\Lingora\\Lingora.exe\n");
    const fs::path list = bin.WriteFile("my list (1).wdl", "huis\n");
    const std::string opened = launched(Desktop().FileTypeEntryFile(".wdl"), list.string());
    EXPECT_NE(opened.find(prefix + "arg=start\narg=/ProgIDOpen\narg=Lingora.Wordlist\narg=" +
                          list.string() + "\n"),
              std::string::npos)
        << opened;
}

TEST_F(HostDesktopTest, TheDatabasesKnowTheTypeAndItsEntry) {
    if (!Installed("xdg-mime") || !Installed("update-mime-database") ||
        !Installed("update-desktop-database") || !Installed("gio"))
        GTEST_SKIP() << "xdg-utils, shared-mime-info, desktop-file-utils or gio is missing";
    Install();
    TempFolder files;
    const fs::path list = files.WriteFile("some.wdl", "huis\nboom\n");
    EXPECT_EQ(Shell(Environment() + "xdg-mime query filetype " + ShellQuoted(list.string())),
              "application/x-wine-extension-wdl");
    EXPECT_EQ(Shell(Environment() + "xdg-mime query default application/x-wine-extension-wdl"),
              "wine-extension-wdl.desktop");
}

TEST_F(HostDesktopTest, RemovalRestoresTheFoldersAndKeepsOtherProgramsEntries) {
    // Another Wine program's submenu, a native program and another type were there first,
    // with the databases as the desktop keeps them.
    const std::string wineProgram =
        "[Desktop Entry]\nType=Application\nName=Other\nExec=env "
        "WINEPREFIX=\"/home/ann/.wine\" wine other.exe\n";
    fs::create_directories(Data() / "applications/wine/Programs/Other");
    std::ofstream(Data() / "applications/wine/Programs/Other/Other.desktop") << wineProgram;
    fs::create_directories(Data() / "desktop-directories");
    std::ofstream(Data() / "desktop-directories/wine-wine.directory")
        << "[Desktop Entry]\nType=Directory\nName=Wine\nIcon=wine\n";
    std::ofstream(Data() / "desktop-directories/wine-Programs.directory")
        << "[Desktop Entry]\nType=Directory\nName=Programs\nIcon=folder\n";
    std::ofstream(Data() / "applications/editor.desktop")
        << "[Desktop Entry]\nType=Application\nName=Editor\nExec=editor %f\n"
           "MimeType=text/x-notes;\n";
    fs::create_directories(Data() / "mime/packages");
    std::ofstream(Data() / "mime/packages/notes.xml")
        << "<?xml version=\"1.0\"?>\n<mime-info "
           "xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
           "<mime-type type=\"text/x-notes\"><glob pattern=\"*.notes\"/></mime-type>\n"
           "</mime-info>\n";
    fs::create_directories(Config() / "menus/applications-merged");
    std::ofstream(Config() / "menus/applications-merged/wine-Programs-Other-Other.menu")
        << "<Menu/>\n";
    Shell("update-mime-database " + ShellQuoted((Data() / "mime").string()) + " >/dev/null 2>&1");
    Shell("update-desktop-database " + ShellQuoted((Data() / "applications").string()) +
          " >/dev/null 2>&1");
    const auto data = Snapshot(Data());
    const auto config = Snapshot(Config());

    Install();
    EXPECT_NE(Snapshot(Data()), data);
    Remove();
    EXPECT_EQ(Snapshot(Data()), data);
    EXPECT_EQ(Snapshot(Config()), config);
}

TEST_F(HostDesktopTest, RemovalOfAllLeavesNothingBehind) {
    fs::create_directories(Data());
    fs::create_directories(Config());
    Install();
    Remove();
    EXPECT_TRUE(fs::is_empty(Data())) << Snapshot(Data()).begin()->first;
    EXPECT_TRUE(fs::is_empty(Config()));
}

TEST_F(HostDesktopTest, AnEntryOfAnotherPrefixIsLeftAlone) {
    Install();
    // Another prefix installed into the same Start-menu folder since: its entries won.
    const fs::path entry = Desktop().MenuEntryFile(kFolder, "Lingora");
    const fs::path type = Desktop().FileTypeEntryFile(".wdl");
    const std::string theirs =
        "[Desktop Entry]\nType=Application\nName=Lingora\nExec=env WINEPREFIX=\"/home/ann/other "
        "prefix\" wine start C:\\\\\\\\L.exe\n";
    std::ofstream(entry) << theirs;
    std::ofstream(type) << theirs;
    Remove();
    EXPECT_EQ(TempFolder::ReadFile(entry), theirs);
    EXPECT_EQ(TempFolder::ReadFile(type), theirs);
    EXPECT_TRUE(fs::exists(Desktop().MenuFile(kFolder, "Lingora")));
    EXPECT_TRUE(fs::exists(Desktop().MimePackageFile(".wdl")));
    EXPECT_FALSE(fs::exists(Desktop().MenuEntryFile(kFolder, "Uninstall Lingora")));
}

TEST_F(HostDesktopTest, AnUnwritableFolderIsAnErrorNamingIt) {
    // A file where the applications folder should be: even root cannot write there.
    fs::create_directories(Data());
    std::ofstream(Data() / "applications") << "not a folder";
    try {
        Desktop().AddMenuEntry({"Lingora", "Lingora", "C:\\L\\Lingora.exe", "C:\\L"});
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_NE(std::string(error.what()).find((Data() / "applications").string()),
                  std::string::npos)
            << error.what();
    }
    EXPECT_THROW(Desktop().AddMenuEntry({"..", "Lingora", "C:\\L.exe", "C:\\"}), Exception);
    EXPECT_THROW(Desktop().AddFileType({"wdl", "X", "x", "x"}), Exception);
}

TEST_F(HostDesktopTest, MissingDatabaseToolsAreNoError) {
    TempFolder empty;
    const std::string path = std::getenv("PATH");
    setenv("PATH", empty.Path().c_str(), 1);
    EXPECT_NO_THROW(Install());
    setenv("PATH", path.c_str(), 1);
    EXPECT_TRUE(fs::exists(Desktop().MimePackageFile(".wdl")));
}

TEST_F(HostDesktopTest, AProgramsIconIsTheEntrysIconInEachOfItsSizes) {
    Install();
    const std::string name = Desktop().IconName(std::string(kInstall) + "\\Lingora.exe");
    EXPECT_NE(TempFolder::ReadFile(Desktop().MenuEntryFile(kFolder, "Lingora"))
                  .find("\nIcon=" + name + "\n"),
              std::string::npos);
    EXPECT_EQ(
        TempFolder::ReadFile(Desktop().MenuEntryFile(kFolder, "Uninstall Lingora")).find("Icon="),
        std::string::npos);
    for (const char* size : {"16x16", "32x32"}) {
        QImage icon(
            QString::fromStdString((Desktop().Icons() / size / "apps" / (name + ".png")).string()));
        EXPECT_FALSE(icon.isNull()) << size;
        EXPECT_EQ(icon.pixel(0, 0), QColor(Qt::darkCyan).rgb()) << size;
    }
    // Another prefix's program of the same path has an icon of another name.
    TempPrefix other;
    EXPECT_NE(other.Machine().Desktop().IconName(std::string(kInstall) + "\\Lingora.exe"), name);
    Remove();
    EXPECT_FALSE(fs::exists(Data() / "icons"));
}

}  // namespace
