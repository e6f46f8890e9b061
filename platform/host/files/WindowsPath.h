// Windows path strings on the host: the full form of a path (GetFullPathName's
// rules), its parts, and the case-insensitive comparison of names in the ANSI
// code page. Pure string work; nothing here touches the machine.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/WindowsNames.h"

// The path in full form: drive, backslashes only, "." and ".." resolved; a
// relative path is taken from currentDirectory (itself a full path), "\x" from
// its drive's root, "D:x" from D's root unless D is the current drive. A ".."
// at a drive root stays there, as on Windows; leftRoot (when given) tells that
// it happened. A trailing backslash is kept. UNC paths come back unchanged.
std::string FullWindowsPath(const std::string& path, const std::string& currentDirectory,
                            bool* leftRoot = nullptr);

// A full path split into its drive letter (upper case) and its names. Nothing
// when the path has no drive ("\\server\share", "x").
struct SplitPath {
    char drive = 0;
    std::vector<std::string> names;
};
std::optional<SplitPath> SplitFullPath(const std::string& fullPath);

// True when the name may be stored as one component of a Windows path: not
// empty, no control characters and none of < > : " / \ | ? *.
bool IsValidWindowsName(const std::string& name);

// Whether Windows lets a file (folder false) or a folder (true) of this full
// path be created: 0, ERROR_FILENAME_EXCED_RANGE for a path longer than
// Windows takes (MAX_PATH, 260 with its terminating null, for a file; 248, room
// for an 8.3 name less, for a folder), or ERROR_INVALID_NAME for a name that
// ends in a dot or a space or is a device's (CON, PRN, AUX, NUL, COM1-COM9,
// LPT1-LPT9 and COM\xB9 ... LPT\xB3 with superscript digits, with or without an
// extension).
std::uint32_t CreatableNameError(const std::string& fullPath, bool folder);

// FindFirstFile's matching: '*' any run, '?' one character, case-insensitive;
// "*.*" matches everything.
bool MatchesPattern(const std::string& name, const std::string& pattern);

// The folder that holds a full path's last name ("C:\a\b" -> "C:\a", "C:\a" ->
// "C:\"); a drive root is its own parent.
std::string ParentOfFullPath(const std::string& fullPath);

// A name converted between the ANSI code page and the host's UTF-8, with the
// common all-ASCII case taken without a conversion.
std::string HostName(const std::string& ansi);
std::optional<std::string> WindowsName(const std::string& utf8);
