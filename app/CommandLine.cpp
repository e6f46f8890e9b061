#include "app/CommandLine.h"

#include <unistd.h>

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/DiagnosticLogFile.h"
#include "app/SourceArgument.h"
#include "app/StartUp.h"
#include "app/Unattended.h"
#include "dialogs/Unit_Constants.h"
#include "install/Unit_Installation.h"
#include "platform/CodePage.h"
#include "platform/ExitCodes.h"
#include "platform/Platform.h"
#include "platform/host/machine/HostMachine.h"
#include "platform/host/machine/PrefixLock.h"
#include "platform/host/machine/WineInstallation.h"
#include "wizard/AnswerFile.h"

namespace {

// A Windows path or folder name from the command line (UTF-8) in the ANSI code
// page of the core; nothing when Windows-1252 cannot hold it.
std::optional<std::string> Ansi(const QString& text) { return Utf8ToAnsi(text.toStdString()); }

// A refusal before any change (exit code 3), on standard error.
int Refused(const std::string& sentence) {
    std::fprintf(stderr, "lingora-setup: %s. Nothing was changed.\n", sentence.c_str());
    return ExitRefused;
}

// A file named on the command line, kept as an absolute path: Setup leaves
// the folder it was started in.
std::string AbsolutePath(const std::string& name) {
    std::error_code ignored;
    const std::filesystem::path path = std::filesystem::absolute(name, ignored);
    return path.empty() ? name : path.string();
}

int Usage(const QString& message) {
    std::fprintf(stderr, "lingora-setup: %s\nTry 'lingora-setup --help'.\n",
                 message.toLocal8Bit().constData());
    return ExitUsage;
}

// The licence as a person reads it on a terminal.
std::string LicenceForTerminal() {
    std::string text;
    for (std::size_t i = 0; i < LicenceText.size(); ++i) {
        const char c = LicenceText[i];
        if (c == '\r') {
            if (i + 1 < LicenceText.size() && LicenceText[i + 1] == '\n') ++i;
            text += '\n';
        } else {
            text += c;
        }
    }
    return AnsiToUtf8(text);
}

// The prefix's lock as the runs take it.
class PrefixRunLock : public IRunLock {
  public:
    explicit PrefixRunLock(PrefixLock& lock) : lock_(lock) {}
    std::string Take() override { return lock_.Take(); }
    void Release() override { lock_.Release(); }
    std::string Lost() override { return lock_.Lost(); }

  private:
    PrefixLock& lock_;
};

}  // namespace

bool OnlySourceOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--source" && i + 1 < argc)
            ++i;
        else if (argument.rfind("--source=", 0) != 0)
            return false;
    }
    return true;
}

void LeaveTheWorkingFolder() {
    if (::chdir("/") != 0) std::perror("lingora-setup: cannot leave the working folder");
}

void InstallPrefixRunLock(PrefixLock* lock) {
    static std::unique_ptr<PrefixRunLock> installed;
    InstallRunLock(nullptr);
    installed = lock != nullptr ? std::make_unique<PrefixRunLock>(*lock) : nullptr;
    InstallRunLock(installed.get());
}

std::optional<int> RunCommandLine(int argc, char** argv, const std::vector<std::string>& sources) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(ApplicationTitle);
    QCoreApplication::setApplicationVersion(VersionText);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Installs Lingora 2.0 into the Wine prefix named by WINEPREFIX (else ~/.wine).\n"
        "Without options Setup is the installation wizard, reading the volumes from the "
        "current folder or from PATH; with these options it works without windows.\n\n" +
        QString(ExitCodeTable));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption unattended("unattended", "Install without questions or windows.");
    const QCommandLineOption uninstall("uninstall",
                                       "Remove the installation recorded in the prefix.");
    const QCommandLineOption licence("licence", "Print the licence agreement.");
    const QCommandLineOption accept("accept-licence",
                                    "Accept the licence agreement (needed with --unattended).");
    const QCommandLineOption dir("dir",
                                 "The installation folder, a Windows path (with --uninstall: the "
                                 "one whose Install.log is removed).",
                                 "WINDOWS-PATH");
    const QCommandLineOption group("group", "The Start-menu folder, below Programs.", "NAME");
    const QCommandLineOption source(
        "source",
        "A folder of the data volumes, or an ISO 9660 image of a disk (default: the current "
        "folder); may be given more than once. The disks of the set are also found where "
        "they are mounted, and images beside an image.",
        "DIR");
    const QCommandLineOption restart("restart", "Ask Wine to restart at the end.");
    const QCommandLineOption keep("keep-version-1",
                                  "Install even though version 1.0 is installed.");
    const QCommandLineOption noDesktop(
        "no-desktop-entries",
        "Add no entries to the Linux desktop's menu and no file association "
        "(as WINEDLLOVERRIDES=winemenubuilder.exe=d does).");
    const QCommandLineOption quiet("quiet", "Print only errors and warnings.");
    const QCommandLineOption log(
        "log",
        "Append a diagnostic log of the run to FILE (the wizard, --unattended and --uninstall): "
        "what Setup found, decided and wrote, with times.",
        "FILE");
    const QCommandLineOption answers(
        "answers",
        "Take the choices from an answer file (with --unattended, or --uninstall for its "
        "folder); options given here win over it.",
        "FILE");
    const QCommandLineOption saveAnswers(
        "save-answers", "The wizard saves its choices in FILE when the run is confirmed.", "FILE");
    const QCommandLineOption unlessInstalled(
        "unless-installed",
        "Change nothing, and say so, when this version is already installed in the "
        "installation folder with the same Start-menu folder.");
    for (const auto& option : {unattended, uninstall, licence, accept, dir, group, source, restart,
                               keep, noDesktop, quiet, log, answers, saveAnswers, unlessInstalled})
        parser.addOption(option);
    parser.addPositionalArgument(
        "PATH",
        "A volume of the set (Setup.d01), the folder that holds it, or a disk image: the "
        "wizard, or --unattended, installs from there (as --source names it).",
        "[PATH]");

    if (!parser.parse(QCoreApplication::arguments())) return Usage(parser.errorText());
    if (parser.isSet(helpOption)) {
        // Named as installed, whatever path it was started by.
        const QString help = parser.helpText().replace(
            "Usage: " + QCoreApplication::arguments().constFirst(), "Usage: lingora-setup");
        std::fputs(help.toLocal8Bit().constData(), stdout);
        return ExitDone;
    }
    if (parser.isSet(versionOption)) {
        std::printf("lingora-setup (Lingora Setup) %s\n", VersionText);
        return ExitDone;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) return Usage("unexpected argument '" + positional[1] + "'");
    const int modes = parser.isSet(unattended) + parser.isSet(uninstall) + parser.isSet(licence);
    const bool wizardOptions = parser.isSet(log) || parser.isSet(saveAnswers);
    if (modes > 1 || (modes == 0 && positional.isEmpty() && !wizardOptions))
        return Usage("give one of --unattended, --uninstall or --licence");
    if (!positional.isEmpty() && !parser.isSet(unattended) && modes == 1)
        return Usage("PATH goes with the wizard or --unattended");
    if (!positional.isEmpty() && parser.isSet(source))
        return Usage("give the volumes' folder once: PATH or --source");
    if (parser.isSet(source) && !parser.isSet(unattended) && modes == 1)
        return Usage("--source goes with --unattended, or alone for the wizard");
    if (parser.isSet(saveAnswers) && modes != 0)
        return Usage("--save-answers goes with the wizard");
    if (parser.isSet(log) && parser.isSet(licence))
        return Usage("--log goes with the wizard, --unattended or --uninstall");
    if (parser.isSet(answers) && modes == 0)
        return Usage("--answers goes with --unattended or --uninstall");
    if (!parser.isSet(unattended)) {
        if (parser.isSet(answers) && !parser.isSet(uninstall))
            return Usage("--answers goes with --unattended or --uninstall");
        for (const auto& option : {accept, group, restart, keep, noDesktop, unlessInstalled})
            if (parser.isSet(option))
                return Usage("--" + option.names().front() + " goes with --unattended");
        if (parser.isSet(dir) && !parser.isSet(uninstall))
            return Usage("--dir goes with --unattended or --uninstall");
    }
    if (!positional.isEmpty()) {
        const TSourceArgument named = SourceFolderOf(positional.front().toStdString());
        if (!named.Error.empty()) return Usage(QString::fromStdString(named.Error));
    }
    if (modes == 0) {
        // The wizard, on the set that PATH names (the run's sources).
        if (parser.isSet(quiet)) return Usage("--quiet goes with --unattended or --uninstall");
        if (parser.isSet(log)) {
            const std::string refused = OpenRunLog(parser.value(log).toStdString());
            if (!refused.empty()) return Refused(refused);
            NoteStart(argc, argv);
        }
        if (parser.isSet(saveAnswers))
            SaveAnswersPath = AbsolutePath(parser.value(saveAnswers).toStdString());
        return std::nullopt;
    }

    BuildTexts();
    if (parser.isSet(licence)) {
        std::printf("%s\n", LicenceForTerminal().c_str());
        ReleaseTexts();
        return ExitDone;
    }

    // The answers and the log before anything is changed; the file names are
    // taken from the folder Setup was started in.
    if (parser.isSet(log)) {
        const std::string refused = OpenRunLog(parser.value(log).toStdString());
        if (!refused.empty()) return Refused(refused);
        NoteStart(argc, argv);
    }
    TAnswers given;
    if (parser.isSet(answers)) {
        std::string error;
        const std::optional<TAnswers> read =
            ReadAnswers(AbsolutePath(parser.value(answers).toStdString()), error);
        if (!read) {
            diag::Note("refused: ", diag::Host{error});
            return Usage(QString::fromStdString(error));
        }
        given = *read;
        diag::Note("answers read from ", diag::Host{parser.value(answers).toStdString()});
    }

    TUnattendedOptions options;
    options.AcceptLicence = parser.isSet(accept);
    options.KeepVersion1 = parser.isSet(keep) || given.KeepVersion1.value_or(false);
    options.Restart = parser.isSet(restart) || given.Restart.value_or(false);
    options.UnlessInstalled = parser.isSet(unlessInstalled);
    options.Quiet = parser.isSet(quiet);
    options.Terminal = ::isatty(STDERR_FILENO) == 1;
    options.Sources = sources;
    LeaveTheWorkingFolder();
    if (parser.isSet(dir)) {
        const auto folder = Ansi(parser.value(dir));
        if (!folder || folder->empty()) return Usage("--dir needs a Windows path in Windows-1252");
        if (!IsDrivePath(*folder))
            return Usage("--dir needs a full Windows path, with its drive (C:\\...)");
        options.Dir = *folder;
    } else if (given.InstallFolder) {
        options.Dir = *given.InstallFolder;
    }
    if (parser.isSet(group)) {
        const auto name = Ansi(parser.value(group));
        if (!name) return Usage("--group needs a name in Windows-1252");
        options.Group = *name;
        options.GroupGiven = true;
    } else if (given.StartMenuFolder) {
        options.Group = *given.StartMenuFolder;
        options.GroupGiven = true;
    }
    const bool desktopEntries = !parser.isSet(noDesktop) && given.DesktopEntries.value_or(true);

    std::unique_ptr<HostMachine> machine;
    std::unique_ptr<PrefixLock> lock;
    std::filesystem::path madeFolder;  // made for the lock: gone again if nothing follows
    try {
        CheckWinePrefixVariable(std::getenv("WINEPREFIX"));
        // A folder without a prefix holds nothing to remove: none is laid down there.
        const WinePrefix prefix(WinePrefix::DefaultFolder());
        const bool prefixExisted = prefix.Exists();
        if (parser.isSet(uninstall) && !prefix.Exists()) {
            std::fprintf(
                stderr,
                "lingora-setup: Lingora %s is not installed: %s holds no Wine prefix. Nothing "
                "was changed.\n",
                VersionText, prefix.Folder().c_str());
            ReleaseTexts();
            return ExitRefused;
        }
        // Wine's rule and one run at a time, before anything is laid down.
        std::string refused = PrefixOwnershipRefusal(prefix.Folder());
        if (!refused.empty()) {
            refused +=
                ": Wine does not use a prefix that belongs to another user, so Setup "
                "does not change it";
        } else {
            if (std::filesystem::create_directories(prefix.Folder()))  // as Wine makes it
                madeFolder = prefix.Folder();
            lock = std::make_unique<PrefixLock>(prefix.Folder());
            refused = lock->Take();
        }
        if (!refused.empty()) {
            std::fprintf(stderr, "lingora-setup: %s. Nothing was changed.\n", refused.c_str());
            ReleaseTexts();
            return ExitRefused;
        }
        InstallPrefixRunLock(lock.get());
        machine = HostMachine::Open(prefix.Folder());
        NotePrefix(prefix.Folder(), prefixExisted);
        if (!desktopEntries) machine->Desktop().SwitchOff();
    } catch (const std::exception& error) {
        std::error_code ignored;
        if (!madeFolder.empty()) std::filesystem::remove(madeFolder, ignored);  // only if empty
        std::fprintf(stderr,
                     "lingora-setup: Setup cannot use the Windows machine (Wine prefix): %s\n",
                     error.what());
        ReleaseTexts();
        return ExitUsage;
    }
    int code = ExitDone;
    {
        const ScopedPlatform platform(machine->GetPlatform());
        code = parser.isSet(unattended) ? InstallUnattended(options, stderr)
                                        : UninstallUnattended(options.Quiet, stderr, options.Dir);
    }
    // A run that was refused leaves no prefix of its own behind.
    if (!MachineChangesBegan()) {
        machine->RemoveLaidDownPrefix();
        std::error_code ignored;
        if (!madeFolder.empty()) std::filesystem::remove(madeFolder, ignored);  // only if empty
    }
    // Installed without Wine (Setup needs none): said once, kept by --quiet.
    if (parser.isSet(unattended) && code == ExitDone && !WineInstallation::FindOnPath().Installed())
        std::fprintf(stderr, "lingora-setup: warning: %s\n", WineNeededText().c_str());
    diag::Note("end: exit code ", code);
    InstallPrefixRunLock(nullptr);
    ReleaseTexts();
    return code;
}
