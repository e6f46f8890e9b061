// Path helpers for Windows paths in the ANSI code page: backslash is the only
// separator, "X:\" is a drive root. No case folding, no normalisation.
#pragma once

#include <string>

// The path without one trailing backslash; drive roots ("C:\") keep theirs.
std::string TrimTrailingBackslash(const std::string& path);

// Folder and name joined by exactly one backslash (none added after an empty
// folder or one that ends in a backslash), then trimmed as above.
std::string JoinPath(const std::string& folder, const std::string& name);

// True when the path names an existing folder on the machine.
bool FolderExists(const std::string& path);
