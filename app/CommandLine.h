// Setup's command-line face: the unattended installation, the removal, the
// licence, help and version. Needs no display.
#pragma once

#include <optional>

// Parses the arguments (GNU style, QCommandLineParser), runs what they ask for
// on the Wine prefix that Wine itself would choose, and returns the exit code.
// Returns nothing when they ask for the wizard ("lingora-setup PATH"): the
// wizard is then to read the set that PATH names (app/SourceArgument.h).
std::optional<int> RunCommandLine(int argc, char** argv);

// True when a window can be shown: an X or Wayland display, or a Qt platform
// chosen explicitly.
bool DisplayAvailable();
