// Installing and removing without windows: the unattended mode of the command
// line. Each runs on the installed platform (the prefix), writes its messages to out, and returns
// an exit code (platform/ExitCodes.h). No display is needed.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct TUnattendedOptions {
    bool AcceptLicence = false;
    bool KeepVersion1 = false;  // go on beside an installed version 1.0
    std::string Dir;            // the installation folder (a Windows path); "" keeps the start's
    std::string Group;          // the Start-menu folder; "" keeps the start's
    bool GroupGiven = false;    // --group was given (its value may be empty: the Programs folder)
    // The folders of the volumes, searched as the disk search does
    // (volumes/DiskSearch.h); none: the source folders of the program's start.
    std::vector<std::string> Sources;
    bool Restart = false;
    // Nothing is done when this version is installed in the folders already.
    bool UnlessInstalled = false;
    bool Quiet = false;     // errors only
    bool Terminal = false;  // out is a terminal: the progress line redraws in place
};

// The installation as the wizard's confirmation page runs it.
int InstallUnattended(const TUnattendedOptions& options, std::FILE* out);

// Removes the installation recorded in the prefix; with dir (a Windows path),
// the one recorded by that folder's Install.log, also without an uninstall entry.
int UninstallUnattended(bool quiet, std::FILE* out, const std::string& dir = {});
