#include "app/SignalPolicy.h"

#include <signal.h>

void ApplySignalPolicy() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
}
