// The program groups of the Start menu: the folder tree below the user's
// Programs folder, as the Start-menu page lists it.
#pragma once

#include <string>
#include <vector>

struct TFolderNode {
    std::string Name;
    std::vector<TFolderNode> Children;  // sorted by name, case-insensitively
};

// The tree of the folders below path. The root is named as a directory search
// for the path names it (its last component when the search finds nothing);
// files are skipped. Folders whose path would exceed the longest path Windows
// allows are not entered, which also ends any loop of linked folders.
TFolderNode ReadFolderTree(const std::string& path);

// The order of the tree: names compared without case, then byte by byte.
bool FolderNameLess(const std::string& a, const std::string& b);
