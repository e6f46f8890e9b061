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
std::optional<int> RunCommandLine(int argc, char** argv);

// The folders of --source options when the arguments are nothing else (the
// wizard with its source folders: "--source DIR" or "--source=DIR", repeated);
// nothing when there are other arguments.
std::optional<std::vector<std::string>> WizardSources(int argc, char** argv);

// The folders of every --source option among the arguments, whatever else they
// hold.
std::vector<std::string> SourceArguments(int argc, char** argv);

// The source folders as the program keeps them: the given ones (the current
// folder when none) as absolute host paths.
std::vector<std::string> StartSources(const std::vector<std::string>& given);

// Moves the working folder to "/", so that Setup never holds the disk it was
// started on mounted. After StartSources, which reads the folder first.
void LeaveTheWorkingFolder();

class PrefixLock;
// Makes the prefix's lock the one that the installation runs and removals take.
void InstallPrefixRunLock(PrefixLock* lock);
