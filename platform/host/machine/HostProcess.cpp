#include "platform/host/machine/HostProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace {

std::string NameOf(const std::string& assignment) {
    return assignment.substr(0, assignment.find('='));
}

}  // namespace

namespace {

int diagnosticOutput = -1;

// posix_spawnp of the request with stdin from /dev/null; in a session of its
// own when detached, with stdout and stderr to /dev/null when quiet, to the
// diagnostic output when the request asks for it. Nothing when it could not
// be started.
std::optional<pid_t> Spawn(const ProcessRequest& request, bool detached, bool quiet) {
    if (request.arguments.empty() || request.arguments.front().empty()) return std::nullopt;

    std::vector<std::string> environment;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string assignment = *entry;
        bool replaced = false;
        for (const std::string& added : request.environment)
            replaced = replaced || NameOf(added) == NameOf(assignment);
        if (!replaced) environment.push_back(assignment);
    }
    environment.insert(environment.end(), request.environment.begin(), request.environment.end());

    std::vector<char*> argv;
    for (const std::string& argument : request.arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& assignment : environment)
        envp.push_back(const_cast<char*>(assignment.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (request.diagnostic && !quiet && diagnosticOutput >= 0) {
        posix_spawn_file_actions_adddup2(&actions, diagnosticOutput, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, diagnosticOutput, STDERR_FILENO);
    } else if (quiet || request.diagnostic) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    if (!request.workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, request.workingFolder.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (detached) posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);

    pid_t child = 0;
    const int result =
        posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) return std::nullopt;
    return child;
}

int WaitFor(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

}  // namespace

void SetDiagnosticOutput(int descriptor) { diagnosticOutput = descriptor; }

bool StartDetached(const ProcessRequest& request) {
    const std::optional<pid_t> child = Spawn(request, true, false);
    if (!child) return false;
    std::thread([pid = *child] { WaitFor(pid); }).detach();
    return true;
}

std::optional<int> RunQuietly(const ProcessRequest& request) {
    const std::optional<pid_t> child = Spawn(request, false, true);
    if (!child) return std::nullopt;
    const int status = WaitFor(*child);
    if (status < 0 || !WIFEXITED(status)) return std::nullopt;
    return WEXITSTATUS(status);
}

std::optional<std::filesystem::path> FindProgramOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr || name.empty()) return std::nullopt;
    const std::string folders = path;
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        const std::filesystem::path candidate =
            std::filesystem::path(folder.empty() ? "." : folder) / name;
        std::error_code unseen;  // access() has just found it: a folder shows, if it is one
        if (::access(candidate.c_str(), X_OK) == 0 &&
            !std::filesystem::is_directory(candidate, unseen))
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < commandLine.size(); ++i) {
        const char c = commandLine[i];
        if (c == '\\') {
            std::size_t slashes = 0;
            while (i < commandLine.size() && commandLine[i] == '\\') {
                ++slashes;
                ++i;
            }
            if (i < commandLine.size() && commandLine[i] == '"') {
                current.append(slashes / 2, '\\');
                if (slashes % 2 == 1) {
                    current += '"';
                } else {
                    quoted = !quoted;
                }
            } else {
                current.append(slashes, '\\');
                --i;
            }
            inArgument = true;
        } else if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inArgument) arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) arguments.push_back(current);
    return arguments;
}
