#include "app/CommandLine.h"

#include <unistd.h>

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/DiagnosticLogFile.h"
#include "app/PrefixForRun.h"
#include "app/SourceArgument.h"
#include "app/StartUp.h"
#include "app/Unattended.h"
#include "dialogs/Unit_Constants.h"
#include "install/Unit_Installation.h"
#include "platform/CodePage.h"
#include "platform/ExitCodes.h"
#include "platform/Platform.h"
#include "platform/host/machine/HostMachine.h"
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

// The options of the command line, in the order that --help lists them.
struct TCommandLine {
    QCommandLineParser parser;
    QCommandLineOption help = parser.addHelpOption();
    QCommandLineOption version = parser.addVersionOption();
    QCommandLineOption unattended{"unattended", "Install without questions or windows."};
    QCommandLineOption uninstall{"uninstall", "Remove the installation recorded in the prefix."};
    QCommandLineOption licence{"licence", "Print the licence agreement."};
    QCommandLineOption accept{"accept-licence",
                              "Accept the licence agreement (needed with --unattended)."};
    QCommandLineOption dir{"dir",
                           "The installation folder, a Windows path (with --uninstall: the "
                           "one whose Install.log is removed).",
                           "WINDOWS-PATH"};
    QCommandLineOption group{"group", "The Start-menu folder, below Programs.", "NAME"};
    QCommandLineOption source{
        "source",
        "A folder of the data volumes, or an ISO 9660 image of a disk (default: the current "
        "folder); may be given more than once. The disks of the set are also found where "
        "they are mounted, and images beside an image.",
        "DIR"};
    QCommandLineOption restart{"restart", "Ask Wine to restart at the end."};
    QCommandLineOption keep{"keep-version-1", "Install even though version 1.0 is installed."};
    QCommandLineOption noDesktop{"no-desktop-entries",
                                 "Add no entries to the Linux desktop's menu and no file "
                                 "association (as WINEDLLOVERRIDES=winemenubuilder.exe=d does)."};
    QCommandLineOption quiet{"quiet", "Print only errors and warnings."};
    QCommandLineOption log{
        "log",
        "Append a diagnostic log of the run to FILE (the wizard, --unattended and --uninstall): "
        "what Setup found, decided and wrote, with times.",
        "FILE"};
    QCommandLineOption answers{
        "answers",
        "Take the choices from an answer file (with --unattended, or --uninstall for its "
        "folder); options given here win over it.",
        "FILE"};
    QCommandLineOption saveAnswers{
        "save-answers", "The wizard saves its choices in FILE when the run is confirmed.", "FILE"};
    QCommandLineOption unlessInstalled{
        "unless-installed",
        "Change nothing, and say so, when this version is already installed in the "
        "installation folder with the same Start-menu folder."};

    TCommandLine() {
        parser.setApplicationDescription(
            "Installs Lingora 2.0 into the Wine prefix named by WINEPREFIX (else ~/.wine).\n"
            "Without options Setup is the installation wizard, reading the volumes from the "
            "current folder or from PATH; with these options it works without windows.\n\n" +
            QString(ExitCodeTable));
        for (const auto& option :
             {unattended, uninstall, licence, accept, dir, group, source, restart, keep, noDesktop,
              quiet, log, answers, saveAnswers, unlessInstalled})
            parser.addOption(option);
        parser.addPositionalArgument(
            "PATH",
            "A volume of the set (Setup.d01), the folder that holds it, or a disk image: the "
            "wizard, or --unattended, installs from there (as --source names it).",
            "[PATH]");
    }
    bool Set(const QCommandLineOption& option) const { return parser.isSet(option); }
    std::string Value(const QCommandLineOption& option) const {
        return parser.value(option).toStdString();
    }
    // How many of --unattended, --uninstall and --licence are given.
    int Modes() const { return Set(unattended) + Set(uninstall) + Set(licence); }
};

// Help and version, printed: their exit code; nothing for anything else.
std::optional<int> HelpOrVersion(const TCommandLine& line) {
    if (line.Set(line.help)) {
        // Named as installed, whatever path it was started by.
        const QString help = line.parser.helpText().replace(
            "Usage: " + QCoreApplication::arguments().constFirst(), "Usage: lingora-setup");
        std::fputs(help.toLocal8Bit().constData(), stdout);
        return ExitDone;
    }
    if (line.Set(line.version)) {
        std::printf("lingora-setup (Lingora Setup) %s\n", VersionText);
        return ExitDone;
    }
    return std::nullopt;
}

// What is wrong with the options taken together; empty when they go together.
QString MisusedOptions(const TCommandLine& line) {
    const QStringList positional = line.parser.positionalArguments();
    if (positional.size() > 1) return "unexpected argument '" + positional[1] + "'";
    const int modes = line.Modes();
    const bool unattended = line.Set(line.unattended);
    const bool wizardOptions = line.Set(line.log) || line.Set(line.saveAnswers);
    if (modes > 1 || (modes == 0 && positional.isEmpty() && !wizardOptions))
        return "give one of --unattended, --uninstall or --licence";
    if (!positional.isEmpty() && !unattended && modes == 1)
        return "PATH goes with the wizard or --unattended";
    if (!positional.isEmpty() && line.Set(line.source))
        return "give the volumes' folder once: PATH or --source";
    if (line.Set(line.source) && !unattended && modes == 1)
        return "--source goes with --unattended, or alone for the wizard";
    if (line.Set(line.saveAnswers) && modes != 0) return "--save-answers goes with the wizard";
    if (line.Set(line.log) && line.Set(line.licence))
        return "--log goes with the wizard, --unattended or --uninstall";
    if (line.Set(line.answers) && (modes == 0 || (!unattended && !line.Set(line.uninstall))))
        return "--answers goes with --unattended or --uninstall";
    if (!unattended) {
        for (const auto& option : {line.accept, line.group, line.restart, line.keep, line.noDesktop,
                                   line.unlessInstalled})
            if (line.Set(option)) return "--" + option.names().front() + " goes with --unattended";
        if (line.Set(line.dir) && !line.Set(line.uninstall))
            return "--dir goes with --unattended or --uninstall";
    }
    if (!positional.isEmpty()) {
        const TSourceArgument named = SourceFolderOf(positional.front().toStdString());
        if (!named.Error.empty()) return QString::fromStdString(named.Error);
    }
    if (modes == 0 && line.Set(line.quiet)) return "--quiet goes with --unattended or --uninstall";
    return {};
}

// The diagnostic log of --log, opened before anything is changed; the exit
// code of its refusal, nothing when it is open or not asked for.
std::optional<int> OpenLogOption(const TCommandLine& line, int argc, char** argv) {
    if (!line.Set(line.log)) return std::nullopt;
    const std::string refused = OpenRunLog(line.Value(line.log));
    if (!refused.empty()) return Refused(refused);
    NoteStart(argc, argv);
    return std::nullopt;
}

// The answers of --answers (none without it); the exit code when they cannot be read.
std::optional<int> ReadAnswersOption(const TCommandLine& line, TAnswers& given) {
    if (!line.Set(line.answers)) return std::nullopt;
    std::string error;
    const std::optional<TAnswers> read = ReadAnswers(AbsolutePath(line.Value(line.answers)), error);
    if (!read) {
        diag::Note("refused: ", diag::Host{error});
        return Usage(QString::fromStdString(error));
    }
    given = *read;
    diag::Note("answers read from ", diag::Host{line.Value(line.answers)});
    return std::nullopt;
}

// The folders of --dir and --group, else of the answers; the exit code when
// one cannot be a Windows name.
std::optional<int> TakeFolders(const TCommandLine& line, const TAnswers& given,
                               TUnattendedOptions& options) {
    if (line.Set(line.dir)) {
        const auto folder = Ansi(line.parser.value(line.dir));
        if (!folder || folder->empty()) return Usage("--dir needs a Windows path in Windows-1252");
        if (!IsDrivePath(*folder))
            return Usage("--dir needs a full Windows path, with its drive (C:\\...)");
        options.Dir = *folder;
    } else if (given.InstallFolder) {
        options.Dir = *given.InstallFolder;
    }
    if (line.Set(line.group)) {
        const auto name = Ansi(line.parser.value(line.group));
        if (!name) return Usage("--group needs a name in Windows-1252");
        options.Group = *name;
        options.GroupGiven = true;
    } else if (given.StartMenuFolder) {
        options.Group = *given.StartMenuFolder;
        options.GroupGiven = true;
    }
    return std::nullopt;
}

// The run's choices from the options and the answers given (those of the
// options win); the exit code when they cannot be taken.
std::optional<int> TakeRunOptions(const TCommandLine& line, const TAnswers& given,
                                  const std::vector<std::string>& sources,
                                  TUnattendedOptions& options) {
    options.AcceptLicence = line.Set(line.accept);
    options.KeepVersion1 = line.Set(line.keep) || given.KeepVersion1.value_or(false);
    options.Restart = line.Set(line.restart) || given.Restart.value_or(false);
    options.UnlessInstalled = line.Set(line.unlessInstalled);
    options.Quiet = line.Set(line.quiet);
    options.Terminal = ::isatty(STDERR_FILENO) == 1;
    options.Sources = sources;
    LeaveTheWorkingFolder();
    return TakeFolders(line, given, options);
}

// The command line's refusal of the prefix, on standard error.
int RefusePrefix(const TPrefixRefusal& refusal) {
    if (refusal.Unusable) {
        std::fprintf(stderr,
                     "lingora-setup: Setup cannot use the Windows machine (Wine prefix): %s\n",
                     refusal.Sentence.c_str());
        return refusal.Code;
    }
    std::fprintf(stderr, "lingora-setup: %s. Nothing was changed.\n", refusal.Sentence.c_str());
    return refusal.Code;
}

// The installation or the removal on the prefix; its exit code.
int RunOnPrefix(const TCommandLine& line, const TUnattendedOptions& options, bool desktopEntries) {
    const bool install = line.Set(line.unattended);
    TPrefixRefusal refusal;
    const std::unique_ptr<TPrefixForRun> prefix =
        OpenPrefixForRun({.RequirePrefix = !install, .LockAtOnce = true}, refusal);
    if (!prefix) return RefusePrefix(refusal);
    if (!desktopEntries) prefix->Machine().Desktop().SwitchOff();
    const ScopedPlatform platform(prefix->Machine().GetPlatform());
    const int code = install ? InstallUnattended(options, stderr)
                             : UninstallUnattended(options.Quiet, stderr, options.Dir);
    // Installed without Wine (Setup needs none): said once, kept by --quiet.
    if (install && code == ExitDone && !WineInstallation::FindOnPath().Installed())
        std::fprintf(stderr, "lingora-setup: warning: %s\n", WineNeededText().c_str());
    diag::Note("end: exit code ", code);
    return code;
}

// The wizard's own options (the log, the answers to save); the exit code when
// the log is refused, nothing when the wizard is to start.
std::optional<int> TakeWizardOptions(const TCommandLine& line, int argc, char** argv) {
    if (const std::optional<int> refused = OpenLogOption(line, argc, argv)) return refused;
    if (line.Set(line.saveAnswers)) SaveAnswersPath = AbsolutePath(line.Value(line.saveAnswers));
    return std::nullopt;
}

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

std::optional<int> RunCommandLine(int argc, char** argv, const std::vector<std::string>& sources) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(ApplicationTitle);
    QCoreApplication::setApplicationVersion(VersionText);
    TCommandLine line;
    if (!line.parser.parse(QCoreApplication::arguments())) return Usage(line.parser.errorText());
    if (const std::optional<int> printed = HelpOrVersion(line)) return printed;
    if (const QString misuse = MisusedOptions(line); !misuse.isEmpty()) return Usage(misuse);
    // The wizard, on the set that PATH names (the run's sources).
    if (line.Modes() == 0) return TakeWizardOptions(line, argc, argv);

    const TTextsScope texts;
    if (line.Set(line.licence)) {
        std::printf("%s\n", LicenceForTerminal().c_str());
        return ExitDone;
    }
    // The answers and the log before anything is changed; the file names are
    // taken from the folder Setup was started in.
    if (const std::optional<int> refused = OpenLogOption(line, argc, argv)) return refused;
    TAnswers given;
    if (const std::optional<int> unread = ReadAnswersOption(line, given)) return unread;
    TUnattendedOptions options;
    if (const std::optional<int> wrong = TakeRunOptions(line, given, sources, options))
        return wrong;
    const bool desktopEntries = !line.Set(line.noDesktop) && given.DesktopEntries.value_or(true);
    return RunOnPrefix(line, options, desktopEntries);
}
