// How Setup is stopped, decided once for the wizard, the unattended installation
// and the removal:
//
// - SIGINT (Ctrl-C), SIGTERM and SIGHUP end a session as Cancel and Exit do:
//   the wizard closes every open question as Exit does, the copying stops
//   between two steps, and a run that had begun changing the machine says
//   what remains and exits with 1.
// - SIGPIPE does not end Setup: a closed pipe on standard output or error makes
//   that write fail (it stops only the progress line), never the installation.
#pragma once

#include <csignal>
#include <string>

#include "app/SignalPipe.h"

// At program start, before anything is written.
void ApplySignalPolicy();

// The signals that end a session, caught for as long as the object lives
// (see SignalPipe for how they are read).
class StopSignals : public SignalPipe {
  public:
    StopSignals() : SignalPipe{SIGINT, SIGTERM, SIGHUP} {}
};

// What a signal that stopped the copying leaves, for standard error (in the
// ANSI code page of the Windows path): the files copied so far and how to
// remove them.
std::string StoppedCopyingText(int signal, const std::string& installFolder);
