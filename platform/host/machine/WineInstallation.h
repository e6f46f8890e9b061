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
// 64-bit programs, else 32-bit. Throws Exception with a message for
// the user when WINEARCH is another value or names a kind the installed Wine
// cannot run.
PrefixArch NewPrefixArch(const char* winearch, const WineInstallation& wine);
