// The icons in a Windows program's resources, as Explorer and Wine's menu
// builder take them for a shortcut: the icon groups (RT_GROUP_ICON) in the
// order of the resource directory, one turned into the bytes of an .ico file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// Icon group number index (0 is the program's own icon) of a PE image (a .exe
// or .dll read whole), as an .ico file. Nothing when the bytes are no PE image,
// hold no such icon or are damaged: every offset and size is checked against
// the image, so hostile bytes give nothing rather than a crash.
std::optional<std::string> ProgramIcon(const std::string& image, std::size_t index = 0);
