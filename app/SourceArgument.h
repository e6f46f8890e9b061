// The volume set named on the command line: "lingora-setup PATH", which is how
// the desktop opens a set's first volume (the desktop entry's %f).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct TSourceArgument {
    std::filesystem::path Folder;  // absolute; empty when the argument names no set
    std::string Error;             // why it names none, for the usage message
};

// The folder of the volumes that PATH names. A volume of a set ("Setup.d01",
// "Setup.d02", ... in any case, as Setup looks names up) names the folder it
// lies in; a folder names itself, and so does an ISO 9660 disk image, which
// Setup reads as a folder without mounting it. Either way that folder must hold the set's
// first volume, a readable "Setup.d01", where the copying starts. Anything
// else (another kind of file, a folder without a first volume, a path that is
// not there) gives an Error.
TSourceArgument SourceFolderOf(const std::string& path);

// A folder as a person or a shell names it, made absolute from the current
// folder, with ".." resolved through the file system as the shell's "cd -P"
// does: "link/.." is the folder above the link's target, not the folder that
// holds the link. Names that do not exist are taken by their text.
std::string ResolveFolder(const std::string& folder);

// The options that take a value as the next argument ("--dir X").
bool TakesValue(const std::string& option);

// The source folders of this run, resolved once from the arguments (before the
// working folder is left), for the private-copy check, the wizard and the
// unattended installation alike: the folders of the --source options, in their
// order; else the folder that PATH names (SourceFolderOf); else the current
// folder. Never empty. Arguments that are wrong are left to the command line's
// usage messages.
std::vector<std::string> RunSources(int argc, char** argv);
