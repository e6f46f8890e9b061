#include "app/SignalPolicy.h"

#include <signal.h>

namespace {
// Caught rather than ignored: the write fails with EPIPE all the same, and the
// programs Setup starts get the default back at exec (an ignored signal stays
// ignored in them).
extern "C" void BrokenPipe(int) {}
}  // namespace

void ApplySignalPolicy() {
    struct sigaction ignore {};
    ignore.sa_handler = BrokenPipe;
    sigemptyset(&ignore.sa_mask);
    ignore.sa_flags = SA_RESTART;
    ::sigaction(SIGPIPE, &ignore, nullptr);
}

std::string StoppedCopyingText(int signal, const std::string& installFolder) {
    return "Setup was stopped by " + SignalPipe::Name(signal) +
           " and ended the copying as Cancel does; the files copied so far stay in " +
           installFolder +
           " and its Install.log lists them. No shortcuts and no uninstall entry were made; "
           "'lingora-setup --uninstall --dir \"" +
           installFolder + "\"' removes what was copied.";
}
