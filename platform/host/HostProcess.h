// Starting host programs detached from Setup: Setup neither waits for them nor
// sees their outcome, as with ShellExecute and a restart request.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct ProcessRequest {
    std::vector<std::string> arguments;    // the program first (a host path or a name on PATH)
    std::vector<std::string> environment;  // NAME=VALUE added to (or replacing in) Setup's own
    std::filesystem::path workingFolder;   // empty: Setup's current directory
};

// Starts a program, true when it was started. Tests replace it to see what
// would have been started.
using ProcessStarter = std::function<bool(const ProcessRequest&)>;

// posix_spawn in a session of its own with stdin from /dev/null; the child is
// reaped in the background so that it leaves no zombie.
bool StartDetached(const ProcessRequest& request);

// The full path of a program found in $PATH; nothing when it is not there.
std::optional<std::filesystem::path> FindProgramOnPath(const std::string& name);

// A command line split into arguments by the rules of Windows programs:
// white space separates, double quotes group, backslashes before a quote escape it.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
