#include "app/SignalPolicy.h"

#include <signal.h>

void ApplySignalPolicy() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
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
