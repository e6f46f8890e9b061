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
#include "app/DisplayProbe.h"
#include "app/Forms.h"
#include "app/PrefixForRun.h"
#include "app/SignalPolicy.h"
#include "app/SourceArgument.h"
#include "app/StartUp.h"
#include "dialogs/Application.h"
#include "dialogs/Unit_Constants.h"
#include "install/Unit_Installation.h"
#include "platform/CodePage.h"
#include "platform/ExitCodes.h"
#include "platform/Platform.h"
#include "platform/host/machine/HostMachine.h"
#include "platform/host/machine/WineInstallation.h"

namespace {

// The wizard's refusal of the prefix, on standard error and in a message box.
int RefusePrefix(const TPrefixRefusal& refusal) {
    std::fprintf(stderr, "lingora-setup: %s%s\n", refusal.Sentence.c_str(),
                 refusal.Unusable ? "" : ".");
    const QString text = refusal.Unusable
                             ? QString("Setup cannot use the Windows machine (Wine prefix).\n\n") +
                                   QString::fromStdString(refusal.Sentence)
                             : QString::fromStdString(refusal.Sentence + ".");
    QMessageBox::critical(nullptr, ApplicationTitle, text);
    return refusal.Code;
}

// The wizard's forms until the wizard closes, or the session ends (endedBy: the
// signal that ended it); the event loop's result.
int RunWizard(TApplication& application, StopSignals& sessionEnd, int& endedBy) {
    TFormsScope forms;
    // Setup installs without Wine; Lingora will not start without it.
    if (!WineInstallation::FindOnPath().Installed()) MainForm->FinishNote = WineNeededText();
    QObject::connect(MainForm, &TMainForm::Closed, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    QSocketNotifier ending(sessionEnd.ReadDescriptor(), QSocketNotifier::Read);
    QObject::connect(&ending, &QSocketNotifier::activated, [&sessionEnd, &endedBy] {
        const int signal = sessionEnd.Take();
        if (signal == 0) return;
        if (endedBy == 0) endedBy = signal;
        CloseForTheSession();
    });
    MainForm->show();
    // The wizard may have closed while it was first shown (version 1.0 removal).
    return MainForm->isVisible() ? application.exec() : 0;
}

// The program's exit code once the wizard has closed, with what a session's
// end left unfinished said on standard error.
int WizardEnded(int loopResult, int endedBy) {
    if (endedBy != 0 && SetupPars.FailedPartWay)
        std::fprintf(stderr, "lingora-setup: %s\n",
                     AnsiToUtf8(StoppedCopyingText(endedBy, SetupPars.InstallFolder)).c_str());
    const int exitCode = WizardExitCode(loopResult, SetupPars);
    diag::Note("end: the wizard closed, exit code ", exitCode);
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    ApplySignalPolicy();
    // The sources once, from the arguments, while the working folder is still
    // the one Setup was started in.
    const std::vector<std::string> sources = RunSources(argc, argv);
    // Off the disk first: a program file there would hold it mounted.
    RunFromPrivateCopyWhenOnTheDisk(argv, sources);
    // Options ask for the command line, which needs no display; --source alone
    // names the wizard's source folders, and a volume's path alone its set.
    if (argc > 1 && !OnlySourceOptions(argc, argv)) {
        if (const std::optional<int> code = RunCommandLine(argc, argv, sources)) return *code;
    }
    SetupPars.Sources = sources;
    LeaveTheWorkingFolder();
    // The display that Qt will use, before it could end the program for want of one.
    if (const std::string problem = DisplayProblem(argv[0]); !problem.empty()) {
        diag::Note("refused: ", problem);
        std::fprintf(stderr, "lingora-setup: %s\n", problem.c_str());
        return ExitRefused;
    }
    // Caught from here on: a session that ends closes the wizard as Exit would.
    StopSignals sessionEnd;
    TApplication application(argc, argv);
    QApplication::setApplicationName(ApplicationTitle);
    // The backdrop is a window too: the program ends when the wizard closes.
    QApplication::setQuitOnLastWindowClosed(false);
    const TTextsScope texts;
    // Exit before any run leaves the machine as it was: a prefix laid down for
    // the wizard goes again when this ends.
    TPrefixRefusal refusal;
    const std::unique_ptr<TPrefixForRun> prefix = OpenPrefixForRun({.LockAtOnce = false}, refusal);
    if (!prefix) return RefusePrefix(refusal);
    const ScopedPlatform platform(prefix->Machine().GetPlatform());
    int endedBy = 0;  // the signal that ended the session
    const int loopResult = RunWizard(application, sessionEnd, endedBy);
    return WizardEnded(loopResult, endedBy);
}
