// The bytes of a Shell Link (.lnk) file: the smallest layout that Windows, Wine
// and lnkinfo read as a link to a local file. The header carries LinkFlags
// HasLinkInfo | HasWorkingDir | IsUnicode; the target is the LinkInfo's ANSI
// local base path on a fixed drive (serial 0, no label), the working folder a
// counted UTF-16LE string; a zero terminal block ends the file.
#pragma once

#include <string>

// target and workingFolder are Windows paths in the ANSI code page.
std::string BuildShellLinkFile(const std::string& target, const std::string& workingFolder);
