// The Linux desktop around the Windows machine: the application menu's entries
// for Start-menu shortcuts and the desktop's association of a file type, as
// Wine makes them for programs that are installed inside it. Names and paths
// are Windows ones, in the ANSI code page.
//
// Thread use: the user-interface thread only.
#pragma once

#include <string>

// A Start-menu shortcut as the desktop's menu shows it.
struct DesktopMenuEntry {
    std::string folder;         // below the Programs folder ("" for Programs itself)
    std::string name;           // the shortcut's name without ".lnk"
    std::string target;         // the program or document that the shortcut starts
    std::string workingFolder;  // the folder it starts in
};

// A file type whose files open through the open verb of its class.
struct DesktopFileType {
    std::string extension;  // with its dot: ".wdl"
    std::string progId;     // the class in HKEY_CLASSES_ROOT whose open verb opens the files
    std::string comment;    // what the desktop calls such a file
    std::string appName;    // what the desktop's "open with" names
};

class IDesktop {
  public:
    virtual ~IDesktop() = default;
    // False when the person has switched the desktop's entries off.
    virtual bool Enabled() = 0;
    // Write the entry's files. Throw Exception with the reason and the file
    // when one cannot be written; files written before stay.
    virtual void AddMenuEntry(const DesktopMenuEntry& entry) = 0;
    virtual void AddFileType(const DesktopFileType& type) = 0;
    // Remove what the Add calls made for this machine, and the folders and
    // submenu files that this leaves empty. An entry that now belongs to
    // another machine is left alone. Throw Exception when a file stays.
    virtual void RemoveMenuEntry(const std::string& folder, const std::string& name) = 0;
    virtual void RemoveFileType(const std::string& extension) = 0;
    // Brings the desktop's databases of types and applications up to date.
    // The desktop's tools for this may be missing: that is no error.
    virtual void UpdateDatabases() = 0;
};
