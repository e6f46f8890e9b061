// Setup's command-line face: the unattended installation, the removal, the
// licence, help and version. Needs no display.
#pragma once

#include <string>

// Parses the arguments (GNU style, QCommandLineParser), runs what they ask for
// on the Wine prefix that Wine itself would choose, and returns the exit code.
int RunCommandLine(int argc, char** argv);

// True when a window can be shown: an X or Wayland display, or a Qt platform
// chosen explicitly.
bool DisplayAvailable();

// The X display that the wizard's windows would open on, when it cannot be
// reached (no server, or one that refuses us): its name; "" when it answers or
// when the windows go elsewhere (Wayland, a Qt platform chosen explicitly).
std::string UnreachableXDisplay();

class PrefixLock;
// Makes the prefix's lock the one that the installation runs and removals take.
void InstallPrefixRunLock(PrefixLock* lock);
