// A host folder of a disk (a source folder, a mounted disk's folder): its paths
// joined, named readably in messages, and its files found by their names as a
// disk shows them. Below the digest file and the disk search, which both look
// into such folders.
//
// Folders are host paths ('/', whatever bytes Linux allows in a name).
#pragma once

#include <optional>
#include <string>

namespace disks {

// folder + "/" + name, without doubling the slash at the root.
std::string JoinFolder(const std::string& folder, const std::string& name);

// A folder for a message, readable whatever bytes it holds: control characters
// as \t, \n or \xNN, bytes that are not UTF-8 as \xNN, a backslash doubled.
std::string ReadableFolder(const std::string& folder);

// The host path of the file `name` in a host folder, as the disk shows it (in
// any case, with a version suffix or none: volume::NamesFile); its exact name
// first. Nothing when the folder holds none. Reads the folder through the
// installed platform's host files.
std::optional<std::string> FileInFolder(const std::string& folder, const std::string& name);

}  // namespace disks
