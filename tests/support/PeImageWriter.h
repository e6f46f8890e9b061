// The tests' own writer of Windows programs with icons: a PE32 image with
// nothing but a resource section, written from Microsoft's published PE format
// apart from the product's reader of it.
#pragma once

#include <string>
#include <vector>

namespace testpe {

// A program whose icon groups are the given ones, in order; each group is a
// list of single-image .ico files (such as Qt writes), one per size.
std::string ProgramWithIcons(const std::vector<std::vector<std::string>>& groups);

}  // namespace testpe
