// The Wine installed on this machine, as far as the kind of a new prefix
// depends on it: which loaders and Unix libraries are there. Found from the
// files alone, without starting Wine.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/host/machine/WinePrefix.h"

struct WineInstallation {
    // A 64-bit loader with Wine's 64-bit Unix libraries: 64-bit prefixes.
    bool Runs64 = false;
    // A 32-bit loader with Wine's 32-bit Unix libraries: 32-bit prefixes.
    bool Runs32 = false;

    // Some Wine is installed: one of the two.
    bool Installed() const { return Runs64 || Runs32; }

    // Looks at the loaders "wine" and "wine64" in the folders of searchPath (a
    // PATH value), following symbolic links and a distribution's wrapper
    // script to the loaders beside the library folders, and at Wine's library
    // folders next to them (.../lib/wine, lib64, lib32 and the multiarch
    // folders, each with x86_64-unix or i386-unix/ntdll.so).
    static WineInstallation Find(const std::string& searchPath);
    // The same, for the PATH of this process.
    static WineInstallation FindOnPath();
};

// The kind of a new prefix by Wine's own rule: WINEARCH ("win32" or "win64")
// when it is set and not empty, else 64-bit when the installed Wine runs
// 64-bit programs, else 32-bit. Without any Wine installed, the kind that the
// Wine still to come will open: WINEARCH when it is set, else the kind of
// Debian's "wine" package on this machine's architecture (64-bit on a 64-bit
// system such as amd64, where it is 64-bit only until 32-bit Wine is added).
// Throws Exception with a message for the user when WINEARCH is another value
// or names a kind the installed Wine cannot run.
PrefixArch NewPrefixArch(const char* winearch, const WineInstallation& wine);

// What Setup says, once, when it has installed on a machine without Wine: that
// Lingora needs Wine to start, and the package that brings it.
std::string WineNeededText();
