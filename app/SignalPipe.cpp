#include "app/SignalPipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <map>

namespace {

int pipeEnds[2] = {-1, -1};
std::map<int, struct sigaction> previous;

extern "C" void WriteSignal(int signal) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

}  // namespace

SignalPipe::SignalPipe(std::initializer_list<int> caught) : signals_(caught) {
    if (pipeEnds[0] < 0 && ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = WriteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : signals_) {
        struct sigaction before {};
        if (::sigaction(signal, &action, &before) == 0) previous[signal] = before;
    }
}

SignalPipe::~SignalPipe() {
    for (const int signal : signals_) {
        const auto it = previous.find(signal);
        if (it == previous.end()) continue;
        ::sigaction(signal, &it->second, nullptr);
        previous.erase(it);
    }
}

int SignalPipe::ReadDescriptor() const { return pipeEnds[0]; }

int SignalPipe::Take() {
    unsigned char byte = 0;
    if (pipeEnds[0] < 0 || ::read(pipeEnds[0], &byte, 1) != 1) return 0;
    return byte;
}

std::string SignalPipe::Name(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal " + std::to_string(signal);
    }
}
