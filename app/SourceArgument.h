// The volume set named on the command line: "lingora-setup PATH", which is how
// the desktop opens a set's first volume (the desktop entry's %f).
#pragma once

#include <filesystem>
#include <string>

struct TSourceArgument {
    std::filesystem::path Folder;  // absolute; empty when the argument names no set
    std::string Error;             // why it names none, for the usage message
};

// The folder of the volumes that PATH names. A volume of a set ("Setup.d01",
// "Setup.d02", ... in any case, as Setup looks names up) names the folder it
// lies in; a folder names itself. Either way that folder must hold the set's
// first volume, a readable "Setup.d01", where the copying starts. Anything
// else (another kind of file, a folder without a first volume, a path that is
// not there) gives an Error.
TSourceArgument SourceFolderOf(const std::string& path);

// Makes folder the wizard's source folder, where it looks for the set's disks
// first. Returns why that failed, or "" when it did not.
std::string UseSourceFolderForWizard(const std::filesystem::path& folder);
