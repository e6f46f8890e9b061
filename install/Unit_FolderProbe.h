// The probe of a folder that the user has filled in: can it be created? The
// folders that the probe creates are removed again at once; the real creation
// comes when the files are copied.
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
