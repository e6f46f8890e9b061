// The exit codes of Setup, fixed once published: scripts depend on them. They sit
// this low so that the fatal error report and the copying end with them too.
#pragma once

enum ExitCode : int {
    ExitDone = 0,           // installed, removed, or the wizard closed
    ExitFailedPartWay = 1,  // a copying error, a damaged volume, a full disk, a signal, a
                            // removal that left files: some was done
    ExitUsage = 2,          // wrong options (also: no usable Wine prefix)
    ExitRefused = 3,        // nothing changed: licence not accepted, folder cannot be made,
                            // version 1.0 present, Wine or another Setup running on the
                            // prefix, a prefix of another user or one that cannot be
                            // written, damaged registry, nothing to uninstall, no display
                            // for the wizard
    ExitVolumeMissing = 4,  // a data volume is missing
};

// The table as --help and the README show it.
inline constexpr char ExitCodeTable[] =
    "Exit codes:\n"
    "  0  done\n"
    "  1  failed part-way (a copying error, a damaged volume, a full disk, a signal, a shortcut "
    "that could not be made, a removal that left files); the message says what remains\n"
    "  2  usage error (also a WINEPREFIX or WINEARCH that Setup cannot use)\n"
    "  3  refused before any change (licence not accepted, folder cannot be created or is too "
    "long for the files, a drive root, version "
    "1.0 present, Wine or another Setup running on the prefix, a prefix of another user or one "
    "that cannot be written, damaged registry, nothing to uninstall, no display for the "
    "wizard)\n"
    "  4  a data volume is missing\n";
