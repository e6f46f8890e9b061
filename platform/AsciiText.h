// Text of the host's own vocabulary (desktop entries, MIME types, the names of
// Qt's platforms), which is ASCII whatever the locale says.
#pragma once

#include <string>

// The text with its ASCII capitals lowered; every other byte stays as it is.
std::string Lower(std::string text);
