// Running a shell command from a test: what it printed on standard output.
#pragma once

#include <string>

// Runs command with /bin/sh; its standard output, whole. status, when given,
// receives the wait status (0 when the command succeeded).
std::string RunShellCommand(const std::string& command, int* status = nullptr);

// A text quoted for the shell: in single quotes, each quote in it escaped.
std::string ShellQuoted(const std::string& text);
