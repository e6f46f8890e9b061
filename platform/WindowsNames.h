// Windows names (file and folder names, paths, registry key names) compared as
// Windows compares them: without regard to case, by the upper-case mapping of
// the ANSI code page, Windows-1252. So "wÖrter" and "WöRTER" name one folder,
// while '÷' and '×', which are no case pair, stay apart.
#pragma once

#include <string>

// The byte's upper-case letter in Windows-1252; any other byte as it is.
char FoldCase(char c);

// Whether a and b are one name to Windows: equal once each byte is folded.
bool SameNameIgnoringCase(const std::string& a, const std::string& b);
