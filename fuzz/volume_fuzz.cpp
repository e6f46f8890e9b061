// The copy of a set of data volumes over arbitrary bytes, taken as a one-volume
// set (Setup.d01) and extracted through the copying loop into a Wine prefix of
// its own. Whatever the input, nothing may be written outside the installation
// folder (every file of the prefix outside it stays as it was, and no new one
// appears there), and the loop must end: with success, a refused (damaged) set,
// or the disk prompt, which is answered Cancel and then Exit.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "dialogs/Unit_Constants.h"
#include "dialogs/Unit_ExitForm.h"
#include "extract/CopyingScope.h"
#include "extract/Unit_ExtractForm.h"
#include "extract/Unit_ExtractThread.h"
#include "installlog/Unit_Logfile.h"
#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/host/files/HostFileSystem.h"
#include "platform/host/machine/WinePrefix.h"
#include "tests/support/QuietWindowServices.h"
#include "volumes/Unit_DataFile.h"

namespace {

namespace fs = std::filesystem;

constexpr char kTarget[] = "C:\\Program Files\\Lingora";

// Everything below a folder: path -> content.
std::map<fs::path, std::string> Snapshot(const fs::path& folder, const fs::path& skip) {
    std::map<fs::path, std::string> files;
    for (auto it = fs::recursive_directory_iterator(folder);
         it != fs::recursive_directory_iterator(); ++it) {
        if (it->path() == skip) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_symlink()) {
            it.disable_recursion_pending();
            files[it->path()] = "link";
            continue;
        }
        std::string content;
        if (it->is_regular_file()) {
            std::ifstream in(it->path(), std::ios::binary);
            content.assign(std::istreambuf_iterator<char>(in), {});
        }
        files[it->path()] = content;
    }
    return files;
}

struct World {
    fs::path root, prefix, volumes, install;
    // The windows and the application live until the process ends: Qt's own
    // statics are gone by the time a static World is destroyed.
    QApplication* application = nullptr;
    std::unique_ptr<HostFileSystem> files;
    QuietWindowServices windows;
    std::map<fs::path, std::string> outside;

    World() {
        static int argc = 1;
        static char name[] = "volume_fuzz";
        static char* argv[] = {name, nullptr};
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        application = new QApplication(argc, argv);
        std::string pattern = (fs::temp_directory_path() / "volume-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        root = pattern;
        prefix = root / "prefix";
        volumes = root / "volumes";
        WinePrefix(prefix).EnsureExists();
        fs::create_directories(volumes);
        files = std::make_unique<HostFileSystem>(prefix);
        InstallPlatform(Platform{files.get(), nullptr, nullptr, &windows});
        Files().MakeSureDirectoryPathExists(std::string(kTarget) + "\\");
        install = files->Locate(kTarget).host;
        outside = Snapshot(prefix, install);
        BuildTexts();
        ExitForm = new TExitForm();
        ExtractForm = new TExtractForm();
        // The disk prompt and the exit question, answered as soon as they show.
        auto* answers = new QTimer(application);
        QObject::connect(answers, &QTimer::timeout, [] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr) return;
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                for (QAbstractButton* button : box->buttons())
                    if (button->text() == CancelButtonCaption) button->click();
            } else if (modal == ExitForm) {
                ExitForm->ExitButtonClick();
            }
        });
        answers->start(0);
    }

    ~World() {
        InstallPlatform(Platform{});
        std::error_code ignored;
        fs::current_path(fs::temp_directory_path(), ignored);
        fs::remove_all(root, ignored);
    }
};

World& TheWorld() {
    static World world;
    return world;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    World& world = TheWorld();
    world.windows.Clear();
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(world.install))
        fs::remove_all(entry.path(), ignored);
    {
        std::ofstream volume(world.volumes / "Setup.d01", std::ios::binary | std::ios::trunc);
        volume.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    // The volumes are opened from the current folder, as Setup opens them from
    // its own; the fuzzer's paths stay relative to where it was started.
    const fs::path started_in = fs::current_path();
    fs::current_path(world.volumes);
    {
        TLogFile log(kTarget, "Lingora");
        TCopyingScope copying;
        copying.Into(log, kTarget);
        try {
            TExtractThread thread;
            thread.Execute();
        } catch (const Exception&) {
            // A refused set or a file that cannot be created: the program's fatal report.
        }
        DataFile.reset();
        ResetOutFile();
    }
    fs::current_path(started_in);
    if (Snapshot(world.prefix, world.install) != world.outside) {
        std::fprintf(stderr, "the copy wrote outside the installation folder\n");
        std::abort();
    }
    return 0;
}
