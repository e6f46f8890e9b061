// lingora-setup: the installation wizard of Lingora 2.0. Installs onto the
// Windows machine kept as a Wine prefix ($WINEPREFIX, else ~/.wine). With
// options it installs or removes without windows (app/CommandLine.h); with a
// volume's path it is the wizard on that set.
#include "wizard/Main.h"

#include <QMessageBox>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/CommandLine.h"
#include "app/DiagnosticLogFile.h"
#include "app/ExitCodes.h"
#include "app/Forms.h"
#include "app/SignalPipe.h"
#include "app/StartUp.h"
#include "dialogs/Application.h"
#include "dialogs/Unit_Constants.h"
#include "platform/CodePage.h"
#include "platform/Platform.h"
#include "platform/host/machine/HostMachine.h"
#include "platform/host/machine/PrefixLock.h"
#include "volumes/DiskSearch.h"

int main(int argc, char** argv) {
    // Off the disk first: a program file there would hold it mounted.
    RunFromPrivateCopyWhenOnTheDisk(argv, StartSources(SourceArguments(argc, argv)));
    // Options ask for the command line, which needs no display; --source alone
    // names the wizard's source folders, and a volume's path alone its set.
    const std::optional<std::vector<std::string>> wizardSources = WizardSources(argc, argv);
    if (argc > 1 && !wizardSources) {
        if (const std::optional<int> code = RunCommandLine(argc, argv)) return *code;
    } else {
        disks::SourceFolders = StartSources(wizardSources.value_or(std::vector<std::string>()));
    }
    LeaveTheWorkingFolder();
    if (!DisplayAvailable()) {
        diag::Note("refused: the wizard has no display");
        std::fprintf(stderr,
                     "lingora-setup: the installation wizard needs a display (DISPLAY or "
                     "WAYLAND_DISPLAY). Without one, install with 'lingora-setup --unattended "
                     "--accept-licence'; 'lingora-setup --help' says more.\n");
        return ExitRefused;
    }
    if (const std::string display = UnreachableXDisplay(); !display.empty()) {
        diag::Note("refused: the wizard cannot open the display ", diag::Host{display});
        std::fprintf(
            stderr,
            "lingora-setup: the installation wizard cannot open the display %s (DISPLAY): no X "
            "server answers there, or it does not let Setup in. Without a display, "
            "install with 'lingora-setup --unattended --accept-licence'; 'lingora-setup --help' "
            "says "
            "more.\n",
            display.c_str());
        return ExitRefused;
    }
    // Caught from here on: a session that ends closes the wizard as Exit would.
    SignalPipe sessionEnd{SIGTERM, SIGHUP};
    TApplication application(argc, argv);
    QApplication::setApplicationName(ApplicationTitle);
    // The backdrop is a window too: the program ends when the wizard closes.
    QApplication::setQuitOnLastWindowClosed(false);
    BuildTexts();

    std::unique_ptr<HostMachine> machine;
    std::unique_ptr<PrefixLock> lock;
    try {
        CheckWinePrefixVariable(std::getenv("WINEPREFIX"));
        const std::string notOwned = PrefixOwnershipRefusal(WinePrefix::DefaultFolder());
        if (!notOwned.empty()) {
            const std::string text = notOwned +
                                     ": Wine does not use a prefix that belongs to another "
                                     "user, so Setup does not change it.";
            std::fprintf(stderr, "lingora-setup: %s\n", text.c_str());
            QMessageBox::critical(nullptr, ApplicationTitle, QString::fromStdString(text));
            ReleaseTexts();
            return ExitRefused;
        }
        const bool prefixExisted = WinePrefix(WinePrefix::DefaultFolder()).Exists();
        machine = HostMachine::Open(WinePrefix::DefaultFolder());
        NotePrefix(machine->Prefix().Folder(), prefixExisted);
        // Taken by the confirmation page's run, not before: two wizards may be open.
        lock = std::make_unique<PrefixLock>(machine->Prefix().Folder());
        InstallPrefixRunLock(lock.get());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lingora-setup: %s\n", error.what());
        QMessageBox::critical(nullptr, ApplicationTitle,
                              QString("Setup cannot use the Windows machine (Wine prefix).\n\n") +
                                  QString::fromStdString(error.what()));
        ReleaseTexts();
        return ExitUsage;
    }
    const ScopedPlatform platform(machine->GetPlatform());

    int exitCode = 0;
    {
        TFormsScope forms;
        QObject::connect(MainForm, &TMainForm::Closed, &application, &QApplication::quit,
                         Qt::QueuedConnection);
        QSocketNotifier ending(sessionEnd.ReadDescriptor(), QSocketNotifier::Read);
        QObject::connect(&ending, &QSocketNotifier::activated, [&sessionEnd] {
            if (sessionEnd.Take() != 0) CloseForTheSession();
        });
        MainForm->show();
        // The wizard may have closed while it was first shown (version 1.0 removal).
        if (MainForm->isVisible()) exitCode = application.exec();
    }
    InstallPrefixRunLock(nullptr);
    exitCode = WizardExitCode(exitCode, SetupPars);
    diag::Note("end: the wizard closed, exit code ", exitCode);
    ReleaseTexts();
    return exitCode;
}
