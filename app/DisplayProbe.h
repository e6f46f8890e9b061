// The display that the wizard's windows will open on, found before any window
// exists: Qt ends the program (abort, exit 134) when none of the platforms it
// tries can start, so Setup tries the same ones first, in Qt's order, and
// explains what is missing instead.
#pragma once

#include <functional>
#include <string>
#include <vector>

// The platforms Qt tries, in its order: the list in QT_QPA_PLATFORM when it is
// set and not empty (names separated by ';', each with its ":arguments" cut
// off); otherwise "wayland" then "xcb" when WAYLAND_DISPLAY is set (even empty)
// or XDG_SESSION_TYPE is "wayland", else "xcb" alone. variable reads the
// environment (nullptr for a variable that is not set).
std::vector<std::string> QtPlatformOrder(const std::function<const char*(const char*)>& variable);

// What one platform would do when Qt tries it.
enum class PlatformStart {
    Starts,         // Qt takes it
    PluginMissing,  // no such platform plugin where Qt looks for plugins
    Unreachable,    // its plugin is there, but its display does not answer
};

// The first platform of QtPlatformOrder that starts, tried as Qt would try it:
// its plugin looked up where Qt looks (the library paths, QT_QPA_PLATFORM_PLUGIN_PATH),
// then for "wayland" and "xcb" a connection to the compositor or X server
// that Qt would connect to. "" when a display will open; otherwise the message
// for the user: what was tried and why it failed (naming the Debian package
// qt6-wayland where Qt's Wayland plugin is missing), and --unattended as the
// way to install without a display. argv[0] is the program (for qt.conf beside
// it, as Qt reads it).
std::string DisplayProblem(char* program);
