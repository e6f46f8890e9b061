// Setup's command-line face: the unattended installation, the removal, the
// licence, help and version. Needs no display.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Parses the arguments (GNU style, QCommandLineParser), runs what they ask for
// on the Wine prefix that Wine itself would choose, and returns the exit code.
// Returns nothing when they ask for the wizard ("lingora-setup PATH"): the
// wizard is then to read the set that PATH names (app/SourceArgument.h).
// sources: the run's source folders (RunSources, app/SourceArgument.h).
std::optional<int> RunCommandLine(int argc, char** argv, const std::vector<std::string>& sources);

// True when the arguments are --source options and nothing else (the wizard
// with its source folders: "--source DIR" or "--source=DIR", repeated).
bool OnlySourceOptions(int argc, char** argv);

// Moves the working folder to "/", so that Setup never holds the disk it was
// started on mounted. After RunSources, which reads the folder first.
void LeaveTheWorkingFolder();
