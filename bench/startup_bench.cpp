// How long the wizard takes to be on screen, against a bare Qt window, each in a
// fresh process (program loading included), interleaved over several rounds.
//
//   startup_bench [ROUNDS]        prints the medians and their ratio (target: at most 1.5)
//
// The children run on the platform that QT_QPA_PLATFORM names (offscreen when
// unset), so that the figures do not depend on a window manager.
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Forms.h"
#include "dialogs/Application.h"
#include "dialogs/Unit_Constants.h"
#include "platform/host/machine/HostMachine.h"
#include "wizard/Main.h"

namespace {

void WaitUntilExposed(QWidget& window) {
    while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The baseline: a plain window of the wizard's size with one line of text and a
// button, so that both sides pay for the font database, which any window with
// text needs.
int BareWindow(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.resize(560, 392);
    QLabel label("Lingora Setup", &window);
    QPushButton button("Next >", &window);
    button.move(400, 350);
    window.show();
    WaitUntilExposed(window);
    return 0;
}

// What the program does up to its first showing, on a prefix of its own.
int Wizard(int argc, char** argv, const char* prefixFolder) {
    TApplication application(argc, argv);
    QApplication::setApplicationName(ApplicationTitle);
    BuildTexts();
    HostMachine machine(prefixFolder);
    const ScopedPlatform platform(machine.GetPlatform());
    CreateForms();
    MainForm->show();
    WaitUntilExposed(*MainForm);
    std::fflush(stdout);
    std::_Exit(0);  // the figure ends when the window is on screen
}

double RunChild(const char* self, const std::vector<std::string>& arguments) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char*> argv{const_cast<char*>(self)};
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        freopen("/dev/null", "w", stderr);  // Qt's notes about the platform
        execv(self, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "startup_bench: a child failed (%s)\n", arguments[0].c_str());
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (argc >= 2 && std::string(argv[1]) == "--bare") return BareWindow(argc, argv);
    if (argc >= 3 && std::string(argv[1]) == "--wizard") return Wizard(argc, argv, argv[2]);

    const int rounds = argc >= 2 ? std::max(3, std::atoi(argv[1])) : 15;
    char pattern[] = "/tmp/startup-bench-XXXXXX";
    const std::filesystem::path temp = mkdtemp(pattern);
    const std::string prefix = (temp / "prefix").string();
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();

    RunChild(self.c_str(), {"--wizard", prefix});  // lays the prefix down, warms the caches
    RunChild(self.c_str(), {"--bare"});
    std::vector<double> bare, wizard;
    for (int round = 0; round < rounds; ++round) {
        bare.push_back(RunChild(self.c_str(), {"--bare"}));
        wizard.push_back(RunChild(self.c_str(), {"--wizard", prefix}));
    }
    std::filesystem::remove_all(temp);

    const double ratio = Median(wizard) / Median(bare);
    std::printf("rounds: %d (platform %s)\n", rounds, std::getenv("QT_QPA_PLATFORM"));
    std::printf("bare Qt window on screen: median %.1f ms\n", Median(bare) * 1000);
    std::printf("wizard on screen:         median %.1f ms\n", Median(wizard) * 1000);
    std::printf("ratio: %.2f (target: at most 1.50) %s\n", ratio, ratio <= 1.5 ? "met" : "NOT MET");
    return 0;
}
