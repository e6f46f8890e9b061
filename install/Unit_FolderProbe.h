// The probes of a folder that the user has filled in: can it be created, and
// can files be made in it? What a probe creates is removed again at once; the
// real creation comes when the files are copied.
#pragma once

#include <string>

// A path split into its longest existing ancestor and the missing rest.
struct TFolderSplit {
    std::string Existing;  // "" when no ancestor exists (not even the drive)
    std::string Missing;   // relative, "" when the whole path exists
};

// Cuts components off the end of the path until what is left is an existing
// folder (or nothing); those components, joined, are the missing rest.
TFolderSplit SplitExistingFolder(const std::string& path);

// True when the path is an existing folder or can be created with all its
// missing parents. Whatever the probe created is removed again, deepest
// first, whether it succeeded or not.
bool ProbeFolder(const std::string& path);

// Whether a file can be made in the folder (or, when it does not exist yet, in
// its deepest existing parent, where the folder would be made): "" or why not.
// The probe is a file of a free name ("~Setup0.tmp", or the first number not
// taken), removed again; when it cannot be removed, that is the reason given,
// naming the file, which the person then removes.
std::string FolderWriteRefusal(const std::string& folder);
