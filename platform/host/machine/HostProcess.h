// Starting host programs: detached from Setup, which neither waits for them nor
// sees their outcome, as with ShellExecute and a restart request; or run to
// their end, as the desktop's database tools are.
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
    // Its standard output and error go to Setup's diagnostic output (see
    // SetDiagnosticOutput), not to Setup's terminal: for the programs Setup
    // starts for itself (Wine's restart), whose messages are no user's business.
    bool diagnostic = false;
};

// Where the output of the programs started with `diagnostic` goes: a
// descriptor that Setup keeps open for its diagnostic log, or -1 (the start:
// none, their output is discarded).
void SetDiagnosticOutput(int descriptor);

// Starts a program, true when it was started. Tests replace it to see what
// would have been started.
using ProcessStarter = std::function<bool(const ProcessRequest&)>;

// posix_spawn in a session of its own with stdin from /dev/null; the child is
// reaped in the background so that it leaves no zombie.
bool StartDetached(const ProcessRequest& request);

// Runs the program to its end with its output discarded: its exit code, or
// nothing when it could not be started or did not exit by itself.
std::optional<int> RunQuietly(const ProcessRequest& request);

// The full path of a program found in $PATH; nothing when it is not there.
std::optional<std::filesystem::path> FindProgramOnPath(const std::string& name);

// A command line split into arguments by the rules of Windows programs:
// white space separates, double quotes group, backslashes before a quote escape it.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
