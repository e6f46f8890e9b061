// The registry entries of the installed program: its uninstall entry and the
// ".wdl" file type bound to "Lingora.exe".
#pragma once

#include <string>

// Writes, in this order, under HKEY_LOCAL_MACHINE the uninstall entry
// (DisplayName, UninstallString = the bare path of Uninst.exe) and under
// HKEY_CLASSES_ROOT ".wdl", "Lingora.Wordlist" with its DefaultIcon, Shell,
// Shell\Open and Shell\Open\command keys. Every value is a REG_SZ.
//
// A value that cannot be written raises ERegistryException "Failed to set data
// for '%s'" naming the value (empty for a default value); the values written
// before stay, no later one is written, and no key is left open.
void WriteRegistryEntries(const std::string& installFolder);
