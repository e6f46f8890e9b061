// Reads back the parts of a Shell Link (.lnk) file that Setup sets: the target
// (the LinkInfo's ANSI local base path) and the working folder (a counted UTF-16
// string of the string data). Written from the published file format, apart
// from the writer, so that the tests see the file as Windows would.
#pragma once

#include <optional>
#include <string>

struct ShellLinkContent {
    std::string target;         // ANSI bytes
    std::string workingFolder;  // converted to ANSI
    std::uint32_t linkFlags = 0;
};

// Nothing when the bytes are no shell link or lack one of the two parts.
std::optional<ShellLinkContent> ReadShellLink(const std::string& bytes);
